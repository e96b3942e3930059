#include "track/serialize/number_text.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

namespace track {
namespace {

// Longest text append_shortest can produce: "-" + "0." + 44 zeros + 9 digits
// for the smallest subnormals, or 39 digits for the largest floats.
constexpr std::size_t kMaxShortest = 64;

// Writes the decimal digits of `value` ending at `end`; returns the start.
char* write_digits_backwards(char* end, std::uint64_t value) {
  do {
    *--end = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return end;
}

void append_int64(std::string& out, std::int64_t value) {
  char buffer[24];
  char* const end = buffer + sizeof buffer;
  // Negate in unsigned arithmetic so that the smallest int64 does not overflow.
  const bool negative = value < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  char* begin = write_digits_backwards(end, magnitude);
  if (negative) *--begin = '-';
  out.append(begin, static_cast<std::size_t>(end - begin));
}

// The decimal D * 10^k, D held as up to 10 digit characters.
struct Decimal {
  char digits[12];
  int count = 0;     // significant digits in `digits`
  int exponent = 0;  // k: the value is digits * 10^exponent
};

std::uint64_t digits_value(const Decimal& d) {
  std::uint64_t v = 0;
  for (int i = 0; i < d.count; ++i) v = v * 10 + static_cast<std::uint64_t>(d.digits[i] - '0');
  return v;
}

void set_digits(Decimal& d, std::uint64_t value) {
  // Trailing zeros carry no information; fold them into the exponent.
  while (value != 0 && value % 10 == 0) {
    value /= 10;
    ++d.exponent;
  }
  char buffer[24];
  char* const end = buffer + sizeof buffer;
  const char* begin = write_digits_backwards(end, value);
  d.count = static_cast<int>(end - begin);
  std::memcpy(d.digits, begin, static_cast<std::size_t>(d.count));
}

// True when |value| lies exactly halfway between D * 10^k and (D + 1) * 10^k,
// i.e. 2 * |value| == (2D + 1) * 10^k. Both sides are split into a power of
// two and an odd part, so the test is exact without big integers: the odd part
// of a float is below 2^24, which keeps every product in range.
bool is_upper_tie(float magnitude, std::uint64_t d, int k) {
  int e = 0;
  const float fraction = std::frexp(magnitude, &e);  // magnitude = fraction * 2^e
  // 24-bit integer significand m with magnitude = m * 2^(e - 24); subnormals
  // simply have a smaller m.
  std::uint64_t m = static_cast<std::uint64_t>(std::ldexp(fraction, 24));
  int two_power = e - 24 + 1;  // of 2 * magnitude
  while ((m & 1) == 0) {
    m >>= 1;
    ++two_power;
  }
  if (two_power != k) return false;  // (2D + 1) * 5^k is odd: powers of two must match
  const std::uint64_t odd = 2 * d + 1;
  if (k >= 0) {
    // m == odd * 5^k; m < 2^24, so stop as soon as the product passes it.
    std::uint64_t product = odd;
    for (int i = 0; i < k; ++i) {
      if (product > m) return false;
      product *= 5;
    }
    return product == m;
  }
  // m * 5^-k == odd; odd < 2^35.
  std::uint64_t product = m;
  for (int i = 0; i < -k; ++i) {
    if (product > odd) return false;
    product *= 5;
  }
  return product == odd;
}

// Writes D * 10^k as a plain numeral (no exponent) into `p`; returns the end.
char* place_point(char* p, const Decimal& d) {
  const int point = d.count + d.exponent;  // digits before the decimal point
  if (point <= 0) {
    *p++ = '0';
    *p++ = '.';
    for (int i = 0; i < -point; ++i) *p++ = '0';
    std::memcpy(p, d.digits, static_cast<std::size_t>(d.count));
    return p + d.count;
  }
  if (point >= d.count) {
    std::memcpy(p, d.digits, static_cast<std::size_t>(d.count));
    p += d.count;
    for (int i = d.count; i < point; ++i) *p++ = '0';
    return p;
  }
  std::memcpy(p, d.digits, static_cast<std::size_t>(point));
  p += point;
  *p++ = '.';
  std::memcpy(p, d.digits + point, static_cast<std::size_t>(d.count - point));
  return p + (d.count - point);
}

bool reads_back_as(const Decimal& d, float magnitude) {
  char text[kMaxShortest];
  char* const end = place_point(text, d);
  float parsed = 0.0f;
  const auto result = std::from_chars(text, end, parsed);
  return result.ec == std::errc{} && parsed == magnitude;
}

// Shortest digits of a finite, non-zero, positive float.
Decimal shortest_decimal(float magnitude) {
  // The scientific shortest form gives the digits and the exponent; the
  // fixed form would print the exact value of large floats instead.
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific);
  Decimal d;
  const char* p = text;
  d.digits[d.count++] = *p++;
  if (*p == '.') {
    ++p;
    while (*p != 'e') d.digits[d.count++] = *p++;
  }
  ++p;  // 'e'
  int exponent = 0;
  std::from_chars(p + (*p == '+' ? 1 : 0), result.ptr, exponent);
  d.exponent = exponent - (d.count - 1);

  // std::to_chars breaks an exact tie between two equally short candidates
  // towards the even last digit; the larger magnitude is wanted.
  const std::uint64_t value = digits_value(d);
  if (is_upper_tie(magnitude, value, d.exponent)) {
    Decimal up;
    up.exponent = d.exponent;
    set_digits(up, value + 1);
    if (reads_back_as(up, magnitude)) return up;
  }
  return d;
}

constexpr std::uint64_t kPow10[] = {1,           10,           100,         1000,
                                    10000,       100000,       1000000,     10000000,
                                    100000000,   1000000000,   10000000000, 100000000000};

// Fast path for the numbers music is made of (12.5, 0.25, 0.79): finite,
// non-integral, 2^-10 <= magnitude < 2^24. Tries the numerals with j = 1, 2, ...
// fraction digits, nearest first, and takes the first that lies inside the
// float's rounding interval. All comparisons are exact in 64-bit integers:
// scaled by 4 * 10^j * 2^s (magnitude = m * 2^-s), the float is 4m * 10^j
// (below 2^26 * 10^11 < 2^63), the numeral N / 10^j is N * 2^(s+2), and the
// interval reaches 2 * 10^j above and below (only 10^j below when m is a
// power of two: the next float down is half as far). On a boundary the
// numeral reads back only when m is even. Returns false when no numeral with
// up to 11 fraction digits fits; the general path handles those.
bool append_short_fraction(std::string& out, float magnitude, bool negative) {
  // A normal float: 24-bit significand with the hidden bit, biased exponent.
  const auto bits = std::bit_cast<std::uint32_t>(magnitude);
  const std::uint64_t m = (bits & 0x7fffffu) | 0x800000u;
  const int shift = 150 - static_cast<int>(bits >> 23) + 2;  // s + 2, magnitude = m * 2^-s
  const bool m_even = (m & 1) == 0;
  const bool m_power_of_two = m == (std::uint64_t{1} << 23);
  for (int j = 1; j <= 11; ++j) {
    const std::uint64_t scale = kPow10[j];
    // Exact: m has 24 bits and 5^j at most 26, within a double's 53.
    const double scaled = static_cast<double>(magnitude) * static_cast<double>(scale);
    const auto below = static_cast<std::uint64_t>(scaled);  // floor: scaled > 0
    const std::uint64_t value4 = 4 * m * scale;
    const std::uint64_t up_reach = 2 * scale;
    const std::uint64_t down_reach = m_power_of_two ? scale : up_reach;
    const std::uint64_t below_distance = value4 - (below << shift);        // numeral <= value
    const std::uint64_t above_distance = ((below + 1) << shift) - value4;  // numeral > value
    const bool below_fits =
        below != 0 && (below_distance < down_reach || (below_distance == down_reach && m_even));
    const bool above_fits = above_distance < up_reach || (above_distance == up_reach && m_even);
    if (!below_fits && !above_fits) continue;
    // Nearest wins; at equal distance the larger magnitude.
    std::uint64_t digits = below + 1;
    if (below_fits && (!above_fits || below_distance < above_distance)) digits = below;
    int decimals = j;
    while (digits % 10 == 0) {
      digits /= 10;
      --decimals;
    }
    // Fraction digits, the point, then the integer digits (at least "0").
    char text[kMaxShortest];
    char* const end = text + sizeof text;
    char* begin = end;
    for (int i = 0; i < decimals; ++i) {
      *--begin = static_cast<char>('0' + digits % 10);
      digits /= 10;
    }
    if (decimals > 0) *--begin = '.';
    begin = write_digits_backwards(begin, digits);
    if (negative) *--begin = '-';
    out.append(begin, static_cast<std::size_t>(end - begin));
    return true;
  }
  return false;
}

}  // namespace

void append_shortest(std::string& out, float value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  const bool negative = std::signbit(value);
  const float magnitude = std::fabs(value);
  if (std::isinf(value)) {
    out += negative ? "-inf" : "inf";
    return;
  }
  // Below 2^24 every integer is a float and its neighbours are at most 1
  // away, so no shorter digit string reads back as it: the integer is its text.
  if (magnitude < 16777216.0f && magnitude == static_cast<float>(static_cast<std::int32_t>(magnitude))) {
    const auto integer = static_cast<std::int64_t>(magnitude);
    if (negative) out += '-';
    append_int64(out, integer);
    return;
  }
  if (magnitude < 16777216.0f && magnitude >= 0.0009765625f &&
      append_short_fraction(out, magnitude, negative)) {
    return;
  }
  char text[kMaxShortest];
  char* p = text;
  if (negative) *p++ = '-';
  p = place_point(p, shortest_decimal(magnitude));
  out.append(text, static_cast<std::size_t>(p - text));
}

void append_number(std::string& out, float value) {
  if (value - std::trunc(value) == 0.0f) {
    // Integral, hence finite. Floats at or beyond +-2^63 saturate; every float
    // inside that range converts exactly.
    constexpr float kTwo63 = 9223372036854775808.0f;
    std::int64_t integer = 0;
    if (value >= kTwo63) {
      integer = std::numeric_limits<std::int64_t>::max();
    } else if (value < -kTwo63) {
      integer = std::numeric_limits<std::int64_t>::min();
    } else {
      integer = static_cast<std::int64_t>(value);  // -2^63 itself is exact
    }
    append_int64(out, integer);
    return;
  }
  append_shortest(out, value);
}

}  // namespace track
