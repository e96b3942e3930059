// Standard MIDI File reader. Two stages: the framing stage unwraps an RMID
// container, finds the header and collects the track chunks; the event stage
// (the track decoder, shared with callers that take events one by one)
// decodes each track within its own chunk data into a list. Only the framing
// stage can fail; a damaged track is cut short and the place and reason are
// noted.

#include "tracksmith/smf/reader.hpp"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tracksmith/smf/decode.hpp"
#include "tracksmith/smf/detail/byte_cursor.hpp"

namespace tracksmith::smf {
namespace {

using detail::ByteCursor;
using detail::hex_byte;
using Bytes = std::span<const std::uint8_t>;

common::Unexpected<common::Error> invalid(std::string what, std::size_t offset) {
  return common::make_error(common::ErrorKind::InvalidMidi,
                            "invalid midi: " + what + " at byte " + std::to_string(offset),
                            offset);
}

common::Unexpected<common::Error> invalid_nowhere(std::string what) {
  return common::make_error(common::ErrorKind::InvalidMidi, "invalid midi: " + what);
}

bool id_is(Bytes id, const char (&name)[5]) {
  return id.size() == 4 && std::memcmp(id.data(), name, 4) == 0;
}

// A chunk as framed: where its id starts and the data it really holds (a
// length past the end has already been cut to what remains).
struct Chunk {
  Bytes id;
  std::size_t id_offset = 0;
  Bytes data;
  std::size_t data_offset = 0;
};

// Precondition: at least 8 bytes remain.
Chunk next_chunk(ByteCursor& c) {
  Chunk ch;
  ch.id_offset = c.offset();
  ch.id = c.take_up_to(4);
  std::uint32_t length = c.u32be();
  ch.data_offset = c.offset();
  ch.data = c.take_up_to(length);
  return ch;
}

// Frame rates the division's high byte may encode, as the negated signed byte.
bool valid_frame_rate(std::uint8_t high_byte) {
  int fps = -static_cast<int>(static_cast<std::int8_t>(high_byte));
  return fps == 24 || fps == 25 || fps == 29 || fps == 30;
}

// Decodes a header chunk's data. `first` is the file's own header: only it
// reports errors and refuses a division of 0 ticks; a later header that does
// not decode just ends the reading of chunks.
common::Result<Header> decode_header(const Chunk& ch, bool first) {
  if (ch.data.size() < 6) return invalid("header chunk too short", ch.id_offset + 4);
  ByteCursor c(ch.data, ch.data_offset);
  Header h;
  h.format = c.u16be();
  h.declared_tracks = c.u16be();
  std::uint16_t division = c.u16be();
  if (h.format > 2) {
    return invalid("unsupported format " + std::to_string(h.format), ch.data_offset);
  }
  const std::size_t division_offset = ch.data_offset + 4;
  if (division & 0x8000u) {
    auto high = static_cast<std::uint8_t>(division >> 8);
    if (!valid_frame_rate(high)) {
      return invalid("SMPTE frame rate byte " + hex_byte(high) + " is not 24, 25, 29 or 30",
                     division_offset);
    }
    h.timing.kind = Timing::Kind::Timecode;
    h.timing.frames_per_second =
        static_cast<std::uint8_t>(-static_cast<int>(static_cast<std::int8_t>(high)));
    h.timing.ticks_per_frame = static_cast<std::uint8_t>(division & 0xFF);
  } else {
    if (first && division == 0) {
      return invalid("division of 0 ticks per quarter note", division_offset);
    }
    h.timing.kind = Timing::Kind::Metrical;
    h.timing.ticks_per_beat = division;
  }
  return h;
}

// Finds the "data" sub-chunk of an RMID file. Returns the MIDI bytes and
// their offset in the input.
common::Result<std::pair<Bytes, std::size_t>> unwrap_riff(Bytes input) {
  if (input.size() < 8) return invalid("RIFF header cut short", input.size());
  ByteCursor outer(input, 0);
  outer.skip_up_to(4);
  std::uint32_t riff_length = outer.u32le();
  Bytes riff_data = outer.take_up_to(riff_length);
  ByteCursor c(riff_data, 8);
  if (c.remaining() < 4) return invalid("RIFF form type cut short", 8);
  if (!id_is(c.take_up_to(4), "RMID")) return invalid("RIFF form type is not RMID", 8);
  while (c.remaining() >= 8) {
    Bytes id = c.take_up_to(4);
    std::uint32_t length = c.u32le();
    if (id_is(id, "data")) {
      std::size_t offset = c.offset();
      return std::pair<Bytes, std::size_t>{c.take_up_to(length), offset};
    }
    c.skip_up_to(std::size_t{length} + (length & 1u));
  }
  return invalid_nowhere("no data chunk in RIFF file");
}

// Keeps every event in a list and the damage note beside it. It holds the
// list itself rather than a reference to the track: the decoder reaches the
// list through one pointer less on every event.
struct TrackSink {
  std::vector<Event> events;
  std::optional<TrackDamage> damage_note;

  void event(const Event& e) { events.push_back(e); }
  void damage(std::size_t byte_offset, std::string reason) {
    damage_note = TrackDamage{byte_offset, std::move(reason)};
  }
};

}  // namespace

namespace detail {

std::string hex_byte(std::uint8_t b) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string out = "0x";
  out += digits[b >> 4];
  out += digits[b & 0xF];
  return out;
}

// The first byte carries the frame rate in bits 5-6 and the hour in bits 0-4.
std::string smpte_offset_problem(std::span<const std::uint8_t> p) {
  static constexpr int rates[4] = {24, 25, 29, 30};
  const int hour = p[0] & 0x1F;
  const int rate = rates[(p[0] >> 5) & 0x3];
  if (hour >= 24) return "SMPTE offset hour " + std::to_string(hour) + " out of range";
  if (p[1] >= 60) return "SMPTE offset minute " + std::to_string(p[1]) + " out of range";
  if (p[2] >= 60) return "SMPTE offset second " + std::to_string(p[2]) + " out of range";
  if (p[3] >= rate) {
    return "SMPTE offset frame " + std::to_string(p[3]) + " out of range at " +
           std::to_string(rate) + " frames per second";
  }
  if (p[4] >= 100) return "SMPTE offset subframe " + std::to_string(p[4]) + " out of range";
  return {};
}

}  // namespace detail

common::Result<Framing> frame(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= kMaxInputBytes) {
    return invalid_nowhere("input of " + std::to_string(bytes.size()) +
                           " bytes is too large (4 GiB or more)");
  }
  Bytes midi = bytes;
  std::size_t base = 0;
  Bytes magic = bytes.first(std::min<std::size_t>(4, bytes.size()));
  if (id_is(magic, "RIFF")) {
    auto unwrapped = unwrap_riff(bytes);
    if (!unwrapped) return common::unexpected(unwrapped.error());
    midi = unwrapped->first;
    base = unwrapped->second;
  } else if (!id_is(magic, "MThd")) {
    return common::make_error(common::ErrorKind::InvalidMidi, "invalid midi: not a midi file",
                              std::size_t{0});
  }

  Framing framing;
  framing.input = bytes;
  ByteCursor c(midi, base);

  // Up to the header: unknown chunks are skipped (RMID data may carry some).
  for (;;) {
    if (c.remaining() < 8) {
      if (c.remaining() >= 4 && id_is(Bytes(midi.data() + (c.offset() - base), 4), "MThd")) {
        return invalid("header chunk too short", c.offset() + 4);
      }
      return invalid("no header chunk", c.offset());
    }
    Chunk ch = next_chunk(c);
    if (id_is(ch.id, "MThd")) {
      auto header = decode_header(ch, true);
      if (!header) return common::unexpected(header.error());
      framing.header = *header;
      break;
    }
    if (id_is(ch.id, "MTrk")) return invalid("track chunk before the header", ch.id_offset);
  }

  // After the header: every MTrk is a track; a tail of fewer than 8 bytes or
  // a later header that does not decode ends the reading of chunks.
  while (c.remaining() >= 8) {
    Chunk ch = next_chunk(c);
    if (id_is(ch.id, "MTrk")) {
      framing.chunks.push_back(TrackChunk{ch.data, ch.data_offset});
    } else if (id_is(ch.id, "MThd") && !decode_header(ch, false)) {
      break;
    }
  }
  return framing;
}

void decode_track(const TrackChunk& chunk, Track& out) {
  TrackSink sink{std::move(out.events), std::nullopt};
  sink.events.clear();
  // The shortest event (a one-byte delta and one data byte under running
  // status) takes 2 bytes; typical note events take 3 or 4.
  const std::size_t expected = chunk.data.size() / 3;
  if (expected > sink.events.capacity()) sink.events.reserve(expected);
  decode_events(chunk, sink);
  out.events = std::move(sink.events);
  out.damage = std::move(sink.damage_note);
}

common::Result<Smf> parse(std::span<const std::uint8_t> bytes) {
  auto framing = frame(bytes);
  if (!framing) return common::unexpected(std::move(framing).error());
  Smf smf;
  smf.header = framing->header;
  smf.input = framing->input;
  smf.tracks.resize(framing->chunks.size());
  for (std::size_t i = 0; i < framing->chunks.size(); ++i) {
    decode_track(framing->chunks[i], smf.tracks[i]);
  }
  return smf;
}

}  // namespace tracksmith::smf