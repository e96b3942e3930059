#pragma once
// Small text helpers shared by the track writers: unsigned integers in
// decimal, the tolerance tests against 1 and the list joiners that write
// numbers straight into the text being built.

#include <charconv>
#include <cmath>
#include <concepts>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "tracksmith/song/note/note.hpp"
#include "tracksmith/track/serialize/number_text.hpp"

namespace tracksmith::track::serialize {

/// The tolerance of the "close to 1" tests: the 32-bit float epsilon, 2^-23.
inline constexpr float kEpsilon = std::numeric_limits<float>::epsilon();

/// Appends an unsigned integer in decimal.
template <std::unsigned_integral T>
void append_unsigned(std::string& out, T value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

/// True when |value - 1| is strictly less than the epsilon (NaN: false).
inline bool near_one_strict(float value) { return std::fabs(value - 1.0f) < kEpsilon; }

/// True when |value - 1| is greater than the epsilon (NaN: false).
inline bool beyond_one(float value) { return std::fabs(value - 1.0f) > kEpsilon; }

/// Appends the values as number text, joined by single spaces.
inline void append_number_list(std::string& out, std::span<const float> values) {
  bool first = true;
  for (const float value : values) {
    if (!first) out += ' ';
    first = false;
    append_number(out, value);
  }
}

/// Appends the text of format_note (resp. format_motif_note) straight into
/// `out`, without a temporary text per note. A writer of many notes passes a
/// memo for the values that repeat (lengths, volumes); the text is the same.
/// With `line_end`, the line's "\n" follows in the same append.
void append_note_line(std::string& out, const song::Note& note, NumberTextMemo* memo = nullptr,
                      bool line_end = false);
/// Appends one note line of a motif entry (no sound: the placement names it).
void append_motif_note_line(std::string& out, const song::Note& note, NumberTextMemo* memo = nullptr);

}  // namespace tracksmith::track::serialize