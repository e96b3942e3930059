// Number texts in two steps, as float formatters do it: the digits (the
// shortest decimal D * 10^k that reads back as the float, with its one tie
// rule), then the layout (sign, point placement, integers, zeros).
//
// The digits of most floats a document holds (1/1024 <= |x| < 2^24, not
// integral) come from exact 64-bit integer arithmetic on the bit pattern;
// all others from std::to_chars. Both give the same Decimal type to the same
// layout.
//
// The digits were compared with those of the dragonbox library (Debian's
// 1.1.3, rounding ties away from zero) for all 2^32 bit patterns: no
// difference. Converting the 27 MB file with dragonbox's digits took 0.335 s
// of CPU against 0.315 s with these (the same file with pitch bends, 1.119 s
// against 1.056 s; medians of 11 and 5 alternating runs), so these stay.

#include "tracksmith/track/serialize/number_text.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <compare>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <system_error>

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

constexpr std::uint64_t kPow5[] = {1,      5,       25,       125,       625,        3125,
                                   15625,  78125,   390625,   1953125,   9765625,    48828125};

constexpr std::uint64_t kZeros = 0x3030303030303030u;

// ---- Digits ----------------------------------------------------------------

// The decimal digits * 10^exponent; the digits may end in zeros.
struct Decimal {
  std::uint64_t digits = 0;
  int exponent = 0;
};

// The tie rule of shortest text. Of two neighbouring candidates with the
// same number of digits, `lower` and lower + 1, the one nearer the float's
// exact value is taken, and on an exact tie the upper one (the larger
// magnitude); a candidate that does not read back as the float is never
// taken. `below_against_above` compares the value's distance to the lower
// candidate with its distance to the upper one.
std::uint64_t pick_nearer(std::uint64_t lower, bool lower_fits, bool upper_fits,
                          std::strong_ordering below_against_above) {
  if (!lower_fits) return lower + 1;
  if (!upper_fits) return lower;
  return below_against_above < 0 ? lower : lower + 1;
}

// The integer-arithmetic digits cover normal floats m * 2^-s with
// 1 <= s <= 33, i.e. biased exponents 117 to 149: 2^-10 <= magnitude < 2^24.
constexpr std::uint32_t kFastLowestExponent = 117;
constexpr std::uint32_t kFastEndExponent = 150;
constexpr int kFastMaxShift = 33;

// For each s: the fewest fraction digits j whose step 10^-j is narrower than
// the float's rounding interval, which is 2^-s wide, or 3/4 of that when m is
// a power of two (the next float down is half as far as the next one up).
struct FractionLevels {
  std::uint8_t plain[kFastMaxShift + 1];
  std::uint8_t power_of_two[kFastMaxShift + 1];
};

constexpr FractionLevels make_fraction_levels() {
  FractionLevels levels{};
  for (int s = 0; s <= kFastMaxShift; ++s) {
    std::uint8_t j = 0;
    while (kPow10[j] <= (std::uint64_t{1} << s)) ++j;  // 10^-j < 2^-s
    levels.plain[s] = j;
    j = 0;
    while (3 * kPow10[j] <= (std::uint64_t{4} << s)) ++j;  // 10^-j < 3/4 * 2^-s
    levels.power_of_two[s] = j;
  }
  return levels;
}

constexpr FractionLevels kFractionLevels = make_fraction_levels();
static_assert(kFractionLevels.power_of_two[kFastMaxShift] <= 11, "kPow10 and the 64-bit products reach 10^11");
static_assert(std::size(kPow5) == 12, "short binary fractions have at most 11 decimals");

// Shortest digits of a non-integral float with biased exponent in the fast
// range; `bits` is its magnitude's bit pattern. Let J be the level from the
// table: a step of 10^-J is narrower than the rounding interval, so at least
// one J-digit fraction reads back, and a step of 10^-(J-1) is wider (never
// equal: the widths are not powers of ten), so at most one (J-1)-digit
// fraction does, and every shorter fraction that reads back is that same
// numeral. Hence: if a (J-1)-digit fraction fits, it is the answer;
// otherwise the nearer J-digit fraction under the tie rule. The nearer fits
// unless it lies below beyond a power of two's short lower reach, and then
// the one above fits.
//
// Everything is exact in 64-bit integers, scaled by 4 * 10^J * 2^s: the float
// is 4m * 10^J (below 2^26 * 10^11 < 2^63), one J-level step is 2^(s+2), and
// the interval reaches 2 * 10^J above and below (only 10^J below for a power
// of two). On a boundary the numeral reads back only when m is even.
//
// Short binary fractions skip all of this. A float with t fraction bits,
// integer + f / 2^t with f odd, is exactly integer + f * 5^t / 10^t: t
// decimals ending in 5. When t <= J - 1 the value itself is a (J-1)-digit
// fraction that fits (at distance 0), so by the above it is the answer. When
// t == J and m is not a power of two, the two (J-1)-digit neighbours both lie
// 5 * 10^-J away, which exceeds the half-width 2^-(s+1) of the interval since
// 10^(J-1) < 2^s (J being the least level with 10^J > 2^s); so no (J-1)-digit
// fraction fits, and the nearest J-digit one is the value itself. For a power
// of two only t <= J - 1 is taken: its wider upper reach may admit the upper
// neighbour.
Decimal fraction_digits(std::uint32_t bits) {
  const std::uint64_t m = (bits & 0x7fffffu) | 0x800000u;
  const int s = static_cast<int>(kFastEndExponent - (bits >> 23));
  const bool m_power_of_two = (bits & 0x7fffffu) == 0;
  const int level = m_power_of_two ? kFractionLevels.power_of_two[s] : kFractionLevels.plain[s];

  const int zero_bits = std::countr_zero(m);  // < s: the value is not integral
  const int fraction_bits = s - zero_bits;
  if (fraction_bits <= level - (m_power_of_two ? 1 : 0)) {
    const std::uint64_t odd = (m & ((std::uint64_t{1} << s) - 1)) >> zero_bits;
    return {(m >> s) * kPow10[fraction_bits] + odd * kPow5[fraction_bits], -fraction_bits};
  }

  const bool m_even = (m & 1) == 0;
  const std::uint64_t scale = kPow10[level];
  const int shift = s + 2;
  const std::uint64_t step = std::uint64_t{1} << shift;
  const std::uint64_t value4 = 4 * m * scale;
  const std::uint64_t up_reach = 2 * scale;
  const std::uint64_t down_reach = m_power_of_two ? scale : up_reach;
  const auto fits_below = [&](std::uint64_t distance) {
    return distance < down_reach || (distance == down_reach && m_even);
  };
  const auto fits_above = [&](std::uint64_t distance) {
    return distance < up_reach || (distance == up_reach && m_even);
  };

  // The J-level numerals stay below 2^28: magnitude < 2^(24-s), and the
  // least J gives 10^J <= 40/3 * 2^s.
  const std::uint64_t below = value4 >> shift;
  const std::uint64_t below_distance = value4 & (step - 1);
  const std::uint64_t coarse = below / 10;
  const std::uint64_t last_digit = below % 10;
  const bool coarse_below_fits = fits_below(last_digit * step + below_distance);
  if (coarse_below_fits || fits_above((10 - last_digit) * step - below_distance)) {
    return {coarse + (coarse_below_fits ? 0 : 1), -(level - 1)};
  }
  return {pick_nearer(below, fits_below(below_distance), true, 2 * below_distance <=> step), -level};
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

char* place_point(char* p, Decimal d);

// True when the decimal, as text, reads back as `magnitude`.
bool reads_back_as(Decimal d, float magnitude) {
  char text[kMaxNumberText];
  char* const end = place_point(text, d);
  float parsed = 0.0f;
  const auto result = std::from_chars(text, end, parsed);
  return result.ec == std::errc{} && parsed == magnitude;
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

// Shortest digits of any other finite, non-zero, positive float.
Decimal general_digits(float magnitude) {
  // The scientific shortest form gives the digits and the exponent; the
  // fixed form would print the exact value of large floats instead.
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific);
  Decimal d;
  int count = 0;
  for (const char* p = text; *p != 'e'; ++p) {
    if (*p == '.') continue;
    d.digits = d.digits * 10 + static_cast<std::uint64_t>(*p - '0');
    ++count;
  }
  const char* e = std::find(text, result.ptr, 'e') + 1;
  int exponent = 0;
  std::from_chars(e + (*e == '+' ? 1 : 0), result.ptr, exponent);
  d.exponent = exponent - (count - 1);

  // std::to_chars takes the nearer candidate, but breaks an exact tie
  // towards the even last digit.
  const bool tie = is_upper_tie(magnitude, d.digits, d.exponent);
  d.digits = pick_nearer(d.digits, true, tie && reads_back_as({d.digits + 1, d.exponent}, magnitude),
                         tie ? std::strong_ordering::equal : std::strong_ordering::less);
  return d;
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
// magnitude's bit pattern. In the fast range the float's integer part is the
// numeral's (no integer lies in the rounding interval of a non-integral float
// below 2^24), so the layout needs no division to place the point. Measured
// in one run, alternating: BM_NumberText 295 us with it, 335 us dividing the
// digits by 10^decimals in put_decimal (BM_ShortestText 290 against 320 us).
char* put_shortest(char* p, std::uint32_t bits, bool negative) {
  const std::uint32_t exponent = bits >> 23;
  if (exponent < kFastLowestExponent || exponent >= kFastEndExponent) {
    return put_decimal(p, general_digits(std::bit_cast<float>(bits)), negative);
  }
  const int s = static_cast<int>(kFastEndExponent - exponent);
  const std::uint64_t m = (bits & 0x7fffffu) | 0x800000u;
  const auto integer = static_cast<std::uint32_t>(m >> s);
  // Below 2^24 every integer is a float and its neighbours are at most 1
  // away, so no shorter digit string reads back as it.
  if ((m & ((std::uint64_t{1} << s) - 1)) == 0) return put_unsigned(p, integer, negative);
  const Decimal d = fraction_digits(bits);
  const int decimals = -d.exponent;
  return put_fixed(p, integer, d.digits - integer * kPow10[decimals], decimals, negative);
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