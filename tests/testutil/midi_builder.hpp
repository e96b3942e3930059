#pragma once
// Test-only builder of Standard MIDI File bytes: header, track chunks and
// events (with or without running status), sysex and meta events, so every
// test can make its own fixtures.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tracksmith::testutil {

using Bytes = std::vector<std::uint8_t>;

/// Appends a variable-length quantity (7 bits a byte, most significant first).
inline void put_vlq(Bytes& out, std::uint32_t value) {
  std::uint8_t tmp[5];
  int n = 0;
  tmp[n++] = static_cast<std::uint8_t>(value & 0x7F);
  while ((value >>= 7) != 0) tmp[n++] = static_cast<std::uint8_t>(0x80 | (value & 0x7F));
  while (n > 0) out.push_back(tmp[--n]);
}

inline void put_u32be(Bytes& out, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}

inline void put_u16be(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

/// The event bytes of one track chunk. Each call appends a delta time and an
/// event; `running` leaves out the status byte.
class TrackBuilder {
 public:
  TrackBuilder& raw(std::initializer_list<std::uint8_t> bytes) {
    data_.insert(data_.end(), bytes);
    return *this;
  }
  TrackBuilder& raw(const Bytes& bytes) {
    data_.insert(data_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  TrackBuilder& delta(std::uint32_t ticks) {
    put_vlq(data_, ticks);
    return *this;
  }
  TrackBuilder& channel(std::uint32_t dt, std::uint8_t status, std::uint8_t a, std::uint8_t b,
                        bool two_bytes = true, bool running = false) {
    delta(dt);
    if (!running) data_.push_back(status);
    data_.push_back(a);
    if (two_bytes) data_.push_back(b);
    return *this;
  }
  TrackBuilder& note_on(std::uint32_t dt, std::uint8_t ch, std::uint8_t key, std::uint8_t vel,
                        bool running = false) {
    return channel(dt, static_cast<std::uint8_t>(0x90 | ch), key, vel, true, running);
  }
  TrackBuilder& note_off(std::uint32_t dt, std::uint8_t ch, std::uint8_t key,
                         std::uint8_t vel = 0, bool running = false) {
    return channel(dt, static_cast<std::uint8_t>(0x80 | ch), key, vel, true, running);
  }
  TrackBuilder& controller(std::uint32_t dt, std::uint8_t ch, std::uint8_t cc, std::uint8_t v) {
    return channel(dt, static_cast<std::uint8_t>(0xB0 | ch), cc, v);
  }
  TrackBuilder& sustain(std::uint32_t dt, std::uint8_t ch, bool down) {
    return controller(dt, ch, 64, down ? 127 : 0);
  }
  TrackBuilder& program(std::uint32_t dt, std::uint8_t ch, std::uint8_t program) {
    return channel(dt, static_cast<std::uint8_t>(0xC0 | ch), program, 0, false);
  }
  /// Raw 14-bit bend value (8192 is the centre).
  TrackBuilder& bend(std::uint32_t dt, std::uint8_t ch, std::uint16_t value) {
    return channel(dt, static_cast<std::uint8_t>(0xE0 | ch),
                   static_cast<std::uint8_t>(value & 0x7F),
                   static_cast<std::uint8_t>((value >> 7) & 0x7F));
  }
  TrackBuilder& meta(std::uint32_t dt, std::uint8_t type, const Bytes& payload) {
    delta(dt);
    data_.push_back(0xFF);
    data_.push_back(type);
    put_vlq(data_, static_cast<std::uint32_t>(payload.size()));
    data_.insert(data_.end(), payload.begin(), payload.end());
    return *this;
  }
  TrackBuilder& meta_text(std::uint32_t dt, std::uint8_t type, std::string_view text) {
    return meta(dt, type, Bytes(text.begin(), text.end()));
  }
  TrackBuilder& name(std::string_view text, std::uint32_t dt = 0) { return meta_text(dt, 0x03, text); }
  TrackBuilder& instrument(std::string_view text, std::uint32_t dt = 0) {
    return meta_text(dt, 0x04, text);
  }
  TrackBuilder& tempo(std::uint32_t us_per_quarter, std::uint32_t dt = 0) {
    return meta(dt, 0x51, Bytes{static_cast<std::uint8_t>(us_per_quarter >> 16),
                                static_cast<std::uint8_t>(us_per_quarter >> 8),
                                static_cast<std::uint8_t>(us_per_quarter)});
  }
  TrackBuilder& sysex(std::uint32_t dt, const Bytes& payload, std::uint8_t status = 0xF0) {
    delta(dt);
    data_.push_back(status);
    put_vlq(data_, static_cast<std::uint32_t>(payload.size()));
    data_.insert(data_.end(), payload.begin(), payload.end());
    return *this;
  }
  TrackBuilder& end(std::uint32_t dt = 0) { return meta(dt, 0x2F, {}); }

  const Bytes& bytes() const { return data_; }

 private:
  Bytes data_;
};

/// A whole file: "MThd" header then chunks in the order added.
class MidiBuilder {
 public:
  explicit MidiBuilder(std::uint16_t format = 1, std::uint16_t division = 480)
      : format_(format), division_(division) {}

  MidiBuilder& track(const TrackBuilder& t) { return chunk("MTrk", t.bytes()); }
  MidiBuilder& chunk(std::string_view id, const Bytes& data) {
    chunks_.insert(chunks_.end(), id.begin(), id.end());
    put_u32be(chunks_, static_cast<std::uint32_t>(data.size()));
    chunks_.insert(chunks_.end(), data.begin(), data.end());
    ++tracks_;
    return *this;
  }
  /// A chunk whose length field says `declared_length` whatever the data holds.
  MidiBuilder& chunk_with_length(std::string_view id, std::uint32_t declared_length,
                                 const Bytes& data) {
    chunks_.insert(chunks_.end(), id.begin(), id.end());
    put_u32be(chunks_, declared_length);
    chunks_.insert(chunks_.end(), data.begin(), data.end());
    return *this;
  }
  /// Bytes appended as they are after the chunks added so far.
  MidiBuilder& raw(const Bytes& bytes) {
    chunks_.insert(chunks_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  /// Header track count written into the file (defaults to the chunks added).
  MidiBuilder& declared_tracks(std::uint16_t n) {
    declared_ = n;
    return *this;
  }

  Bytes bytes() const {
    Bytes out{'M', 'T', 'h', 'd'};
    put_u32be(out, 6);
    put_u16be(out, format_);
    put_u16be(out, declared_ >= 0 ? static_cast<std::uint16_t>(declared_) : tracks_);
    put_u16be(out, division_);
    out.insert(out.end(), chunks_.begin(), chunks_.end());
    return out;
  }

 private:
  std::uint16_t format_;
  std::uint16_t division_;
  std::uint16_t tracks_ = 0;
  int declared_ = -1;
  Bytes chunks_;
};

/// An RMID file: "RIFF", its length, "RMID", then the given sub-chunks
/// (id and data; an odd length is followed by a pad byte).
inline Bytes rmid(std::initializer_list<std::pair<std::string_view, Bytes>> sub_chunks) {
  auto put_u32le = [](Bytes& out, std::uint32_t v) {
    for (int s = 0; s < 32; s += 8) out.push_back(static_cast<std::uint8_t>(v >> s));
  };
  Bytes body{'R', 'M', 'I', 'D'};
  for (const auto& [id, data] : sub_chunks) {
    body.insert(body.end(), id.begin(), id.end());
    put_u32le(body, static_cast<std::uint32_t>(data.size()));
    body.insert(body.end(), data.begin(), data.end());
    if (data.size() % 2 != 0) body.push_back(0);
  }
  Bytes out{'R', 'I', 'F', 'F'};
  put_u32le(out, static_cast<std::uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace tracksmith::testutil