#pragma once
// The two texts of a 32-bit float that every writer uses. This is the only
// place where a number becomes text: locale-free, no streams, no allocation
// beyond the growth of the output buffer.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tracksmith::track::serialize {

/// Shortest decimal text: the shortest digits that read back as the same
/// float (nearest the exact value; on an exact tie the larger magnitude),
/// never with an exponent; integral values without a fraction; "-0", "NaN",
/// "inf", "-inf".
void append_shortest(std::string& out, float value);

/// Number text: an integral value (value - trunc(value) == 0) as a signed
/// 64-bit integer with saturation ("-0" gives "0"); anything else, NaN and
/// the infinities included, as shortest decimal text.
void append_number(std::string& out, float value);

/// The longest text of either kind (the smallest subnormals: "-0." and 44
/// zeros before their digits).
inline constexpr std::size_t kMaxNumberText = 64;

/// Writes the shortest decimal text (resp. number text) of `value` at `p`,
/// which must have room for kMaxNumberText bytes, and returns the end of the
/// text. For writers that build a line in a buffer of their own.
char* write_shortest(char* p, float value);
char* write_number(char* p, float value);

/// Remembers the number texts of the values it wrote last, for a writer that
/// writes the same few values over and over (note volumes and lengths): a
/// value seen before is copied instead of formatted. Writes exactly what
/// append_number writes. Owned by its user and not shared between threads;
/// 8 KiB.
class NumberTextMemo {
 public:
  /// Appends the number text of `value`, as append_number does.
  void append_number(std::string& out, float value);
  /// Writes it at `p` (room for kMaxNumberText bytes), as write_number does.
  char* write_number(char* p, float value);

 private:
  // 16 bytes, the text first: a hit copies the whole entry at once, and
  // the bytes past the text land in the room for the longest text.
  struct Entry {
    char text[11] = {};
    std::uint8_t length = 0;  // 0 while the entry is empty
    std::uint32_t bits = 0;
  };
  static_assert(sizeof(Entry) == 16);
  static constexpr unsigned kIndexBits = 9;
  std::array<Entry, std::size_t{1} << kIndexBits> entries_{};
};

/// The shortest text of `value` as a new string.
inline std::string shortest_text(float value) {
  std::string s;
  append_shortest(s, value);
  return s;
}

/// The number text of `value` (integers without a point) as a new string.
inline std::string number_text(float value) {
  std::string s;
  append_number(s, value);
  return s;
}

}  // namespace tracksmith::track::serialize