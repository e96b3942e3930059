#pragma once
// Standard MIDI File reader: frames the chunks of a whole file held in memory
// and decodes every track into events. Payloads are views into the caller's
// bytes, so the input must outlive the result. It knows nothing of songs.
// Entry point: smf::parse().

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tracksmith/common/result.hpp"

namespace tracksmith::smf {

/// Timing of the file, from the header's division word.
struct Timing {
  enum class Kind : std::uint8_t { Metrical, Timecode };
  Kind kind = Kind::Metrical;
  std::uint16_t ticks_per_beat = 0;  ///< Metrical: ticks per quarter note (1..32767)
  std::uint8_t frames_per_second = 0;  ///< Timecode: 24, 25, 29 (29.97 drop) or 30
  std::uint8_t ticks_per_frame = 0;    ///< Timecode: ticks per frame, any value
};

/// The MThd chunk.
struct Header {
  std::uint16_t format = 0;           ///< 0, 1 or 2
  std::uint16_t declared_tracks = 0;  ///< as written in the header; only a hint
  Timing timing;
};

/// What an event is; channel messages carry channel and data bytes.
enum class EventKind : std::uint8_t {
  NoteOff,
  NoteOn,  ///< velocity 0 is kept as a note on; the import treats it as a note off
  PolyAftertouch,
  Controller,
  ProgramChange,
  ChannelAftertouch,
  PitchBend,
  SysEx,   ///< payload: bytes after F0 and the length
  Escape,  ///< payload: bytes after F7 and the length
  Meta,    ///< payload: the meta data bytes
};

/// The type of a meta event (FF xx), `Unknown` for types not listed.
enum class MetaKind : std::uint8_t {
  TrackNumber,
  Text,
  Copyright,
  TrackName,
  InstrumentName,
  Lyric,
  Marker,
  CuePoint,
  ProgramName,
  DeviceName,
  ChannelPrefix,
  Port,
  EndOfTrack,
  Tempo,
  SmpteOffset,
  TimeSignature,
  KeySignature,
  SequencerSpecific,
  Unknown,  ///< any other type, or a known type whose data is too short
};

/// Inputs must be smaller than this: events keep their payloads as 32-bit
/// offsets into the input.
inline constexpr std::uint64_t kMaxInputBytes = std::uint64_t{1} << 32;

/// One event of a track. 16 bytes; payloads are stored as an offset and a
/// length into the parsed input (see Smf::payload).
struct Event {
  std::uint32_t delta = 0;  ///< delta time in ticks (at most 28 bits)
  EventKind kind = EventKind::NoteOff;
  std::uint8_t channel = 0;  ///< channel messages: 0-15; meta: the raw type byte
  /// Channel messages: first data byte (key, controller, program, pressure;
  /// pitch bend: least significant 7 bits). Meta: MetaKind as a number.
  std::uint8_t data1 = 0;
  /// Channel messages: second data byte (velocity, value; pitch bend: most
  /// significant 7 bits). Otherwise 0.
  std::uint8_t data2 = 0;
  std::uint32_t payload_offset = 0;  ///< SysEx, Escape, Meta: offset of the payload in the input
  std::uint32_t payload_size = 0;    ///< SysEx, Escape, Meta: payload length in bytes

  bool is_channel() const noexcept { return kind <= EventKind::PitchBend; }
  MetaKind meta_kind() const noexcept { return static_cast<MetaKind>(data1); }
  std::uint8_t meta_type() const noexcept { return channel; }
  /// Pitch bend: the raw 14-bit value, second data byte x 128 + first data byte.
  std::uint16_t bend_value() const noexcept {
    return static_cast<std::uint16_t>(data2 * 128u + data1);
  }
};

/// Where and why the reading of a track stopped before its end.
struct TrackDamage {
  std::size_t byte_offset = 0;  ///< file offset of the event where the damage starts
  std::string reason;           ///< e.g. "data byte 0x9C inside a note-on"
};

/// One MTrk chunk's events.
struct Track {
  std::vector<Event> events;          ///< in file order
  std::optional<TrackDamage> damage;  ///< set when the track was cut short
};

/// The payload bytes of a SysEx, Escape or Meta event, in the input it was
/// read from (empty for other events).
inline std::span<const std::uint8_t> payload_of(std::span<const std::uint8_t> input,
                                                const Event& e) noexcept {
  return input.subspan(e.payload_offset, e.payload_size);
}

/// Tempo meta event: microseconds per quarter note (first 3 payload bytes).
inline std::uint32_t tempo_of(std::span<const std::uint8_t> input, const Event& e) noexcept {
  auto p = payload_of(input, e);
  return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}

/// A whole parsed file; event payloads are offsets into the input, which
/// must outlive every use of them.
struct Smf {
  Header header;
  std::vector<Track> tracks;  ///< every MTrk chunk, in file order
  std::span<const std::uint8_t> input;  ///< the bytes that were parsed

  std::span<const std::uint8_t> payload(const Event& e) const noexcept { return payload_of(input, e); }
  std::string_view payload_text(const Event& e) const noexcept {
    auto p = payload(e);
    return {reinterpret_cast<const char*>(p.data()), p.size()};
  }
  std::uint32_t tempo(const Event& e) const noexcept { return tempo_of(input, e); }
};

/// One track chunk as framed: its data (cut to what the file holds) and the
/// offset of that data in the input.
struct TrackChunk {
  std::span<const std::uint8_t> data;
  std::size_t offset = 0;
};

/// The framing stage alone: the header and every track chunk in file order,
/// not yet decoded. Lets a caller decode one track at a time into one reused
/// buffer instead of holding the events of all tracks at once.
struct Framing {
  Header header;
  std::vector<TrackChunk> chunks;
  std::span<const std::uint8_t> input;  ///< the bytes that were framed

  std::span<const std::uint8_t> payload(const Event& e) const noexcept { return payload_of(input, e); }
  std::uint32_t tempo(const Event& e) const noexcept { return tempo_of(input, e); }
};

/// Frames a whole file; fails exactly where parse() fails.
common::Result<Framing> frame(std::span<const std::uint8_t> bytes);

/// Decodes one framed track into `out`, replacing its events and damage note
/// (the event buffer's capacity is reused). Never fails.
void decode_track(const TrackChunk& chunk, Track& out);

/// Parses a whole file. Errors read "invalid midi: {what} at byte {offset}"
/// (kind InvalidMidi, with byte_offset set). Once the header decodes, parsing
/// does not fail: damaged tracks are cut short and noted in Track::damage.
/// The input must stay alive and unchanged while the result is used.
common::Result<Smf> parse(std::span<const std::uint8_t> bytes);

}  // namespace tracksmith::smf