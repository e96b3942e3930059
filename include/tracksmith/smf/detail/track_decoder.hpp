#pragma once
// The event stage of the reader: decodes one track chunk event by event and
// hands each event, and the place and reason where the track was cut short,
// to a sink. The sink decides what to keep (a list of events, or a scan that
// consumes them on the spot); the decoding rules live only here.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "tracksmith/smf/detail/byte_cursor.hpp"
#include "tracksmith/smf/reader.hpp"

namespace tracksmith::smf::detail {

/// "0x" and two upper-case hex digits.
std::string hex_byte(std::uint8_t b);

/// Why the 5 bytes of an SMPTE offset cannot be a time of day, or empty when
/// they can.
std::string smpte_offset_problem(std::span<const std::uint8_t> p);

/// The channel message kind of status nibbles 0x8 to 0xE.
inline constexpr EventKind kChannelKinds[7] = {
    EventKind::NoteOff,    EventKind::NoteOn,        EventKind::PolyAftertouch,
    EventKind::Controller, EventKind::ProgramChange, EventKind::ChannelAftertouch,
    EventKind::PitchBend,
};
/// Data bytes that follow each of those statuses.
inline constexpr std::uint8_t kChannelDataBytes[7] = {2, 2, 2, 2, 1, 1, 2};
/// Names of those messages in damage reports ("data byte 0x9C inside a note-on").
inline constexpr const char* kChannelNames[7] = {
    "note-off",       "note-on",            "polyphonic aftertouch", "controller change",
    "program change", "channel aftertouch", "pitch bend",
};

/// The kind of a text meta event. Precondition: 0x01 <= type <= 0x09.
inline MetaKind text_meta_kind(std::uint8_t type) {
  static constexpr MetaKind kinds[9] = {
      MetaKind::Text,   MetaKind::Copyright, MetaKind::TrackName,
      MetaKind::InstrumentName, MetaKind::Lyric, MetaKind::Marker,
      MetaKind::CuePoint, MetaKind::ProgramName, MetaKind::DeviceName,
  };
  return kinds[type - 1];
}

/// Decodes one track chunk into `Sink`, which provides
/// `void event(const Event&)`, called for every event in file order, and
/// `void damage(std::size_t byte_offset, std::string reason)`, called at most
/// once, after the last event, when the track was cut short before an
/// end-of-track event had been reached.
template <class Sink>
class TrackDecoder {
 public:
  TrackDecoder(const TrackChunk& chunk, Sink& sink) : c_(chunk.data, chunk.offset), sink_(sink) {}

  void run() {
    std::uint8_t running = 0;
    while (!c_.at_end()) {
      const std::size_t at = c_.offset();
      Event e;
      Vlq delta = c_.vlq();
      e.delta = delta.value;
      if (c_.at_end()) {
        return damage(at, delta.complete ? "end of data after a delta time"
                                         : "end of data inside a delta time");
      }
      std::uint8_t status = c_.peek();
      if (status >= 0x80) {
        c_.take();
      } else if (running != 0) {
        status = running;
      } else {
        return damage(at, "running status byte missing");
      }

      if (status < 0xF0) {
        running = status;
        const unsigned index = (status >> 4) - 8u;
        e.kind = kChannelKinds[index];
        e.channel = status & 0x0F;
        const std::size_t need = kChannelDataBytes[index];
        if (c_.remaining() >= need) {
          const std::uint8_t a = c_.peek_at(0);
          const std::uint8_t b = need == 2 ? c_.peek_at(1) : 0;
          if (((a | b) & 0x80) == 0) {
            c_.skip(need);
            e.data1 = a;
            e.data2 = b;
            sink_.event(e);
            continue;
          }
        }
        return channel_damage(at, index, need);
      }

      switch (status) {
        case 0xF0:
        case 0xF7: {
          running = 0;
          e.kind = status == 0xF0 ? EventKind::SysEx : EventKind::Escape;
          const char* what = status == 0xF0 ? "sysex" : "escape";
          std::string problem = payload(e, what);
          sink_.event(e);
          if (!problem.empty()) return damage(at, std::move(problem));
          break;
        }
        case 0xFF:
          running = 0;
          if (!meta(at, e)) return;
          break;
        default:
          return damage(at, std::string(status < 0xF8 ? "system common status "
                                                       : "realtime status ") +
                                hex_byte(status));
      }
    }
  }

 private:
  using Bytes = std::span<const std::uint8_t>;

  // Reports where the track was cut short, unless an end-of-track event had
  // already been reached: nothing is lost after it.
  void damage(std::size_t at, std::string reason) {
    if (!after_end_) sink_.damage(at, std::move(reason));
  }

  // The channel message at the cursor is short or holds a byte of 0x80 or
  // more: names the first such byte.
  void channel_damage(std::size_t at, unsigned index, std::size_t need) {
    for (std::size_t i = 0; i < need; ++i) {
      if (i >= c_.remaining()) {
        return damage(at,
                      std::string(kChannelNames[index]) + " cut short by the end of the track");
      }
      if (c_.peek_at(i) >= 0x80) {
        return damage(at, "data byte " + hex_byte(c_.peek_at(i)) + " inside a " +
                              kChannelNames[index]);
      }
    }
  }

  // Reads a length and that many bytes into the event's payload, taking what
  // remains when the data is shorter. Returns why it was short, or empty.
  std::string payload(Event& e, const char* what) {
    Vlq length = c_.vlq();
    e.payload_offset = static_cast<std::uint32_t>(c_.offset());
    Bytes p = c_.take_up_to(length.value);
    e.payload_size = static_cast<std::uint32_t>(p.size());
    if (length.empty) return std::string(what) + " without its length";
    if (!length.complete) return "end of data inside a " + std::string(what) + " length";
    if (p.size() < length.value) {
      return std::string(what) + " declares " + std::to_string(length.value) + " bytes but " +
             std::to_string(p.size()) + " remain";
    }
    return {};
  }

  // Decodes a meta event after its 0xFF. Returns false when the track ends.
  bool meta(std::size_t at, Event& e) {
    if (c_.at_end()) {
      damage(at, "meta event without its type byte");
      return false;
    }
    const std::uint8_t type = c_.take();
    // From its type byte on, an end-of-track event protects what follows.
    if (type == 0x2F) after_end_ = true;
    e.kind = EventKind::Meta;
    e.channel = type;
    std::string problem = payload(e, ("meta event " + hex_byte(type)).c_str());
    const std::size_t size = e.payload_size;
    MetaKind kind = MetaKind::Unknown;
    switch (type) {
      case 0x00: kind = MetaKind::TrackNumber; break;
      case 0x01: case 0x02: case 0x03: case 0x04: case 0x05:
      case 0x06: case 0x07: case 0x08: case 0x09: kind = text_meta_kind(type); break;
      case 0x20: if (size >= 1) kind = MetaKind::ChannelPrefix; break;
      case 0x21: if (size >= 1) kind = MetaKind::Port; break;
      case 0x2F: kind = MetaKind::EndOfTrack; break;
      case 0x51: if (size >= 3) kind = MetaKind::Tempo; break;
      case 0x54:
        if (size >= 5) {
          std::string bad = smpte_offset_problem(Bytes(c_.ptr_before(size), size));
          if (!bad.empty()) {
            damage(at, problem.empty() ? std::move(bad) : std::move(problem));
            return false;
          }
          kind = MetaKind::SmpteOffset;
        }
        break;
      case 0x58: if (size >= 4) kind = MetaKind::TimeSignature; break;
      case 0x59:
        if (size < 2) {
          damage(at, problem.empty() ? "key signature shorter than 2 bytes" : std::move(problem));
          return false;
        }
        kind = MetaKind::KeySignature;
        break;
      case 0x7F: kind = MetaKind::SequencerSpecific; break;
      default: break;
    }
    e.data1 = static_cast<std::uint8_t>(kind);
    sink_.event(e);
    if (!problem.empty()) {
      damage(at, std::move(problem));
      return false;
    }
    return true;
  }

  ByteCursor c_;
  Sink& sink_;
  bool after_end_ = false;
};

}  // namespace tracksmith::smf::detail