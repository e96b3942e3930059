#pragma once
// Notes of the song model: Note, its pitch trajectory (NoteSegment chain),
// curve points (WavePoint), and the conversions between a segment chain and a
// curve of points. Times in beats, pitches in semitones (key k is k - 69),
// volumes as factors; all 32-bit floats. Writing notes as text is left to
// track/serialize.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "tracksmith/common/compact_list.hpp"
#include "tracksmith/common/compact_text.hpp"

namespace tracksmith::song {

/// One piece of a pitch trajectory: a pitch change over a duration.
struct NoteSegment {
  float pitch_delta = 0.0f;  ///< semitones; a duration of 0 makes an instant jump
  float duration = 0.0f;     ///< beats
  bool ease_in = true;
  bool ease_out = true;

  bool operator==(const NoteSegment&) const = default;
};

/// A point of a curve: note pitch and volume curves, wave tables.
struct WavePoint {
  float time = 0.0f;   ///< note curves: fraction of the note's length (0..1)
  float value = 0.0f;  ///< semitones above the note's pitch, or a volume factor
  bool ease_in = true;
  bool ease_out = true;

  bool operator==(const WavePoint&) const = default;
};

/// The text that follows a value to describe the shape of the stretch that
/// starts there: " linear", " ease-out", " ease-in", or nothing.
constexpr std::string_view easing_suffix(bool ease_in, bool ease_out) noexcept {
  if (ease_in) return ease_out ? std::string_view{} : std::string_view{" ease-in"};
  return ease_out ? std::string_view{" ease-out"} : std::string_view{" linear"};
}

/// One note of a layer or motif: sound, timing in beats, pitch in
/// semitones (0 = MIDI key 69), volume factor, pitch trajectory and options.
struct Note {
  // A large file holds millions of notes, so the texts and lists use the
  // compact containers (8 bytes each instead of 32 and 24) and the fields
  // are declared largest first: a note packs into 80 bytes.
  common::CompactText sound;  ///< sound name; empty for notes held by a motif
  common::CompactText text;
  common::CompactList<NoteSegment> segments;  ///< all trajectory pieces but the last
  common::CompactList<WavePoint> volume_curve;
  common::CompactList<float> arpeggio;
  float start = 0.0f;  ///< beats from the start of the layer (or motif)
  float pitch = 0.0f;  ///< semitones relative to MIDI key 69
  float volume = 1.0f;
  float arpeggio_rate = 0.0f;
  std::uint32_t repeat = 0;
  std::uint32_t repeat_alt = 0;
  NoteSegment final_segment{0.0f, 0.0f, true, true};  ///< the last piece, always present
  bool text_apostrophe = false;

  /// Every field but the note's place (`start` and `pitch`): what two
  /// occurrences of a figure must share. Equality, motif matching and the
  /// motif hash read the fields through this one list, so a field added to
  /// the note is added here, once.
  auto shape() const noexcept {
    return std::tie(sound, text, segments, volume_curve, arpeggio, volume, arpeggio_rate, repeat,
                    repeat_alt, final_segment, text_apostrophe);
  }

  /// Every field: the place, then the shape.
  auto fields() const noexcept { return std::tuple_cat(std::tie(start, pitch), shape()); }

  /// Field-by-field equality: floats numerically (NaN never equal, -0 == +0),
  /// lists element by element.
  bool operator==(const Note& other) const noexcept { return fields() == other.fields(); }

  /// The note's length in beats: the segment durations summed in order from
  /// -0, then added to final_segment.duration.
  float length() const noexcept;

  /// The pitch trajectory as curve points (times as fractions of the length,
  /// values as cumulative semitones); empty for a note without pitch movement.
  std::vector<WavePoint> pitch_curve() const;

  /// The same points written into `points`, which must have room for
  /// segments.size() + 2 of them; returns how many there are. For writers
  /// that keep the points in a buffer of their own.
  std::size_t pitch_curve_into(std::span<WavePoint> points) const noexcept;
};

// A field added to the note changes its size: add it to Note::shape() too,
// and keep the fields packed, since every imported note costs this much.
static_assert(sizeof(Note) == 80, "every field of a note belongs in Note::shape(), packed into 80 bytes");

/// A key whose unsigned order is the IEEE 754 total order of floats:
/// negative NaN first, then -inf ... -0, +0 ... +inf, then positive NaN.
inline std::uint32_t total_order_key(float value) noexcept {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  // Negative floats order backwards by magnitude, so all their bits are
  // inverted; positive ones move above all negative ones.
  return (bits & 0x80000000u) != 0 ? ~bits : (bits | 0x80000000u);
}

/// Indices of `notes` in the order of a stable sort by start time under the
/// total order (equal starts keep their list order). The notes stay put.
std::vector<std::uint32_t> order_by_start(const std::vector<Note>& notes);

/// True when the list is already in that order (every start at or after the
/// one before under the total order), so that it needs no sorted view.
bool starts_in_order(const std::vector<Note>& notes) noexcept;

/// Segments and final segment of a trajectory built from curve points.
struct Trajectory {
  common::CompactList<NoteSegment> segments;
  NoteSegment final_segment;
};

/// Turns curve points (times 0..1 as fractions of `length` beats) into a
/// segment chain: the pitch holds at the first point's value until its time,
/// moves from point to point, and holds at the last value to the end.
Trajectory trajectory_from_curve(const std::vector<WavePoint>& points, float length);
Trajectory trajectory_from_curve(std::span<const WavePoint> points, float length);

}  // namespace tracksmith::song