// Number texts in two steps, as float formatters do it: the digits (the
// shortest decimal D * 10^k that reads back as the float, with its one tie
// rule), from dragonbox, then the layout (sign, point placement, integers,
// zeros).

#include "tracksmith/track/serialize/number_text.hpp"

#include <dragonbox/dragonbox.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace tracksmith::track::serialize {
namespace {

static_assert(std::endian::native == std::endian::little,
              "digit characters are assembled in little-endian words");

// "00" to "99": two digits per division when writing integers.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

constexpr std::uint64_t kPow10[] = {1,
                                    10,
                                    100,
                                    1000,
                                    10000,
                                    100000,
                                    1000000,
                                    10000000,
                                    100000000,
                                    1000000000,
                                    10000000000,
                                    100000000000,
                                    1000000000000,
                                    10000000000000,
                                    100000000000000,
                                    1000000000000000,
                                    10000000000000000};

constexpr std::uint64_t kZeros = 0x3030303030303030u;

// ---- Digits ----------------------------------------------------------------

// The decimal digits * 10^exponent; the digits may end in zeros.
struct Decimal {
  std::uint64_t digits = 0;
  int exponent = 0;
};

// Shortest digits of a finite, non-zero, positive float. Dragonbox takes the
// float's rounding interval as a round-to-nearest-even reader sees it (its
// default: the ends belong to it when the significand is even), finds the
// shortest digits in it and, of two such candidates, the nearer;
// away_from_zero settles an exact tie towards the larger magnitude. The
// layout drops trailing zeros itself, so dragonbox leaves them: measured in
// one run, alternating, BM_NumberText 300 us so, 311 us with dragonbox
// removing them (BM_ShortestText 289 against 303 us).
Decimal shortest_digits(float magnitude) {
  namespace policy = jkj::dragonbox::policy;
  const auto decimal = jkj::dragonbox::to_decimal(magnitude, policy::sign::ignore, policy::trailing_zero::ignore,
                                                  policy::binary_to_decimal_rounding::away_from_zero);
  return {decimal.significand, decimal.exponent};
}

// Writes the decimal digits of `value` ending at `end`; returns the start.
// 32-bit values take the cheaper 32-bit divisions.
template <typename Unsigned>
char* write_digits_backwards(char* end, Unsigned value) {
  while (value >= 100) {
    const auto pair = static_cast<std::size_t>(value % 100) * 2;
    value /= 100;
    end -= 2;
    std::memcpy(end, kDigitPairs + pair, 2);
  }
  if (value >= 10) {
    end -= 2;
    std::memcpy(end, kDigitPairs + static_cast<std::size_t>(value) * 2, 2);
  } else {
    *--end = static_cast<char>('0' + value);
  }
  return end;
}

// ---- Layout ----------------------------------------------------------------

// The eight decimal digits of `value` < 10^8 (leading zeros included) as
// values 0 to 9, one per byte, in memory order once stored. Two 4-digit
// halves are split into 32-bit lanes, each lane into 2-digit lanes and those
// into digits, by multiplications with reciprocals that are exact in these
// ranges (x * 10486 >> 20 is x / 100 below 10^4, x * 103 >> 10 is x / 10
// below 100).
std::uint64_t eight_digit_values(std::uint32_t value) {
  std::uint64_t x = (value / 10000) | (std::uint64_t{value % 10000} << 32);
  const std::uint64_t hundreds = ((x * 10486) >> 20) & 0x0000007f0000007fu;
  x = hundreds | ((x - hundreds * 100) << 16);
  const std::uint64_t tens = ((x * 103) >> 10) & 0x000f000f000f000fu;
  return tens | ((x - tens * 10) << 8);
}

// Digits of `value`, at least 1, from its bit width: 1233 / 4096 is
// just above log10(2). 0 counts as 1 digit, and as 10^k - 1 is odd, setting
// the lowest bit never carries a value across a power of ten.
int decimal_length(std::uint32_t value) {
  const std::uint32_t odd = value | 1u;
  const int guess = (std::bit_width(odd) * 1233) >> 12;
  return guess + (odd >= kPow10[guess] ? 1 : 0);
}

// Writes [-]value; returns the end.
char* put_unsigned(char* p, std::uint32_t value, bool negative) {
  *p = '-';
  char* const end = p + (negative ? 1 : 0) + decimal_length(value);
  write_digits_backwards(end, value);
  return end;
}

// Writes [-]magnitude; returns the end.
char* put_integer(char* p, std::uint64_t magnitude, bool negative) {
  if (magnitude <= std::numeric_limits<std::uint32_t>::max()) {
    return put_unsigned(p, static_cast<std::uint32_t>(magnitude), negative);
  }
  if (negative) *p++ = '-';
  char buffer[24];
  char* const end = buffer + sizeof buffer;
  const char* begin = write_digits_backwards(end, magnitude);
  const auto length = static_cast<std::size_t>(end - begin);
  std::memcpy(p, begin, length);
  return p + length;
}

// Writes [-]integer.fraction, the fraction (< 10^decimals, 1 <= decimals <=
// 16) with its leading zeros and without its trailing ones; returns the end.
// Stores 8 or 16 bytes after the point whatever the length: the digits are
// put together in words, whose top bytes are the last digits, so the
// trailing zeros are counted there.
char* put_fixed(char* p, std::uint32_t integer, std::uint64_t fraction, int decimals, bool negative) {
  p = put_unsigned(p, integer, negative);
  *p = '.';
  if (decimals <= 8) {
    const std::uint64_t digits = eight_digit_values(static_cast<std::uint32_t>(fraction * kPow10[8 - decimals]));
    const std::uint64_t text = digits | kZeros;
    std::memcpy(p + 1, &text, 8);
    const int length = 8 - std::countl_zero(digits) / 8;
    return length == 0 ? p : p + 1 + length;
  }
  const std::uint64_t scaled = fraction * kPow10[16 - decimals];
  const std::uint64_t high = eight_digit_values(static_cast<std::uint32_t>(scaled / 100000000));
  const std::uint64_t low = eight_digit_values(static_cast<std::uint32_t>(scaled % 100000000));
  const std::uint64_t high_text = high | kZeros;
  const std::uint64_t low_text = low | kZeros;
  std::memcpy(p + 1, &high_text, 8);
  std::memcpy(p + 9, &low_text, 8);
  const int length = low != 0 ? 16 - std::countl_zero(low) / 8 : 8 - std::countl_zero(high) / 8;
  return length == 0 ? p : p + 1 + length;
}

// Writes D * 10^k as a plain numeral (no exponent, no sign) in full
// generality; returns the end. At most 64 bytes for the digits of a float.
char* place_point(char* p, Decimal d) {
  while (d.digits % 10 == 0 && d.exponent < 0) {
    d.digits /= 10;
    ++d.exponent;
  }
  char digits[24];
  char* const digits_end = digits + sizeof digits;
  const char* const digits_begin = write_digits_backwards(digits_end, d.digits);
  const int count = static_cast<int>(digits_end - digits_begin);
  const int point = count + d.exponent;  // digits before the decimal point
  if (point <= 0) {
    *p++ = '0';
    *p++ = '.';
    for (int i = 0; i < -point; ++i) *p++ = '0';
    std::memcpy(p, digits_begin, static_cast<std::size_t>(count));
    return p + count;
  }
  if (point >= count) {
    std::memcpy(p, digits_begin, static_cast<std::size_t>(count));
    p += count;
    for (int i = count; i < point; ++i) *p++ = '0';
    return p;
  }
  std::memcpy(p, digits_begin, static_cast<std::size_t>(point));
  p += point;
  *p++ = '.';
  std::memcpy(p, digits_begin + point, static_cast<std::size_t>(count - point));
  return p + (count - point);
}

// Writes [-]D * 10^k; returns the end. Integers, and fractions of up to 16
// decimals with an integer part below 10^8 (nearly every number of a
// document), take the word-wise writers.
char* put_decimal(char* p, Decimal d, bool negative) {
  const int decimals = -d.exponent;
  if (decimals == 0) return put_integer(p, d.digits, negative);
  if (decimals > 0 && decimals <= 16) {
    const std::uint64_t integer = d.digits / kPow10[decimals];
    if (integer < 100000000) {
      return put_fixed(p, static_cast<std::uint32_t>(integer), d.digits - integer * kPow10[decimals], decimals,
                       negative);
    }
  }
  if (negative) *p++ = '-';
  return place_point(p, d);
}

// Writes [-]the shortest text of a finite, non-zero float; `bits` is its
// magnitude's bit pattern. Integers from 1 to 2^24 - 1 (biased exponents 127
// to 150: m * 2^-s with a 24-bit m and 0 <= s <= 23) are written as integers
// without asking dragonbox: every integer there is a float and its neighbours
// are at most 1 away, so no shorter digit string reads back as it. Measured in
// one run, alternating: BM_ShortestText 289 us with it, 331 us without.
char* put_shortest(char* p, std::uint32_t bits, bool negative) {
  const std::uint32_t exponent = bits >> 23;
  if (exponent >= 127 && exponent <= 150) {
    const std::uint32_t s = 150 - exponent;
    const std::uint32_t m = (bits & 0x7fffffu) | 0x800000u;
    if ((m & ((1u << s) - 1)) == 0) return put_unsigned(p, m >> s, negative);
  }
  return put_decimal(p, shortest_digits(std::bit_cast<float>(bits)), negative);
}

char* put_text(char* p, const char* text, std::size_t length) {
  std::memcpy(p, text, length);
  return p + length;
}

// Runs a writer in a local buffer and appends the text it wrote.
template <typename Writer>
void append_written(std::string& out, Writer write) {
  char text[kMaxNumberText];
  out.append(text, static_cast<std::size_t>(write(text) - text));
}

}  // namespace

char* write_shortest(char* p, float value) {
  const auto raw = std::bit_cast<std::uint32_t>(value);
  const bool negative = (raw >> 31) != 0;
  const std::uint32_t bits = raw & 0x7fffffffu;
  if (bits == 0) return negative ? put_text(p, "-0", 2) : put_text(p, "0", 1);
  if (bits >= 0x7f800000u) {
    if (bits > 0x7f800000u) return put_text(p, "NaN", 3);
    return negative ? put_text(p, "-inf", 4) : put_text(p, "inf", 3);
  }
  return put_shortest(p, bits, negative);
}

char* write_number(char* p, float value) {
  // Integral means value - trunc(value) == 0. Inside the 32-bit range the
  // truncating conversion decides it; every float at or beyond 2^31 in
  // magnitude is integral (or NaN or infinite).
  if (value > -2147483648.0f && value < 2147483648.0f) {
    const auto integer = static_cast<std::int32_t>(value);
    if (static_cast<float>(integer) == value) {
      // "-0" compares equal to 0 and is written "0".
      const auto magnitude = static_cast<std::uint32_t>(integer);
      return put_unsigned(p, integer < 0 ? 0u - magnitude : magnitude, integer < 0);
    }
    const auto raw = std::bit_cast<std::uint32_t>(value);
    return put_shortest(p, raw & 0x7fffffffu, (raw >> 31) != 0);
  }
  if (std::isnan(value) || std::isinf(value)) return write_shortest(p, value);
  // Floats at or beyond +-2^63 saturate; every float inside that range
  // converts exactly.
  constexpr float kTwo63 = 9223372036854775808.0f;
  if (value >= kTwo63) return put_integer(p, std::numeric_limits<std::int64_t>::max(), false);
  if (value < -kTwo63) return put_integer(p, std::uint64_t{1} << 63, true);
  const auto integer = static_cast<std::int64_t>(value);  // -2^63 itself is exact
  const auto magnitude = static_cast<std::uint64_t>(integer);
  return put_integer(p, integer < 0 ? 0 - magnitude : magnitude, integer < 0);
}

void append_shortest(std::string& out, float value) {
  append_written(out, [value](char* p) { return write_shortest(p, value); });
}

void append_number(std::string& out, float value) {
  append_written(out, [value](char* p) { return write_number(p, value); });
}

char* NumberTextMemo::write_number(char* p, float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  // Fibonacci hashing: the top bits of the product depend on every bit, so
  // values that differ only in their last mantissa bits spread out.
  Entry& entry = entries_[(bits * 0x9e3779b1u) >> (32 - kIndexBits)];
  if (entry.bits == bits && entry.length != 0) {
    // A copy of the entry's constant width: no variable-length copy.
    std::memcpy(p, &entry, sizeof entry);
    return p + entry.length;
  }
  char* const end = serialize::write_number(p, value);
  const auto length = static_cast<std::size_t>(end - p);
  if (length > sizeof entry.text) return end;  // long texts are rare: not kept
  entry.bits = bits;
  entry.length = static_cast<std::uint8_t>(length);
  std::memcpy(entry.text, p, length);
  return end;
}

void NumberTextMemo::append_number(std::string& out, float value) {
  append_written(out, [this, value](char* p) { return write_number(p, value); });
}

}  // namespace tracksmith::track::serialize