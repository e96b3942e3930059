#include "track/serialize/number_text.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <system_error>

namespace track {
namespace {

// Longest text append_shortest can produce: "-" + "0." + 44 zeros + 9 digits
// for the smallest subnormals, or 39 digits for the largest floats.
constexpr std::size_t kMaxShortest = 64;

// "00" to "99": two digits per division when writing integers.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

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

// Two digit characters as they lie in memory, for assembling eight at once.
std::uint64_t digit_pair(std::uint32_t value) {
  std::uint16_t pair = 0;
  std::memcpy(&pair, kDigitPairs + static_cast<std::size_t>(value) * 2, 2);
  return pair;
}

// Writes the fraction `value` < 10^9 as exactly 16 digits, leading zeros
// included, ending at `end`; returns how many of them are trailing zeros
// (fewer than 16 as `value` is not 0). The eight low digits are assembled in
// a register and stored at once, and the zeros are counted there: a load of
// freshly stored single characters would stall.
int write_fraction_16_backwards(char* end, std::uint32_t value) {
  constexpr std::uint64_t kZeros = 0x3030303030303030u;
  constexpr bool kLittle = std::endian::native == std::endian::little;
  const std::uint32_t high = value / 100000000;
  const std::uint32_t low = value % 100000000;
  const std::uint32_t upper_group = low / 10000;
  const std::uint32_t lower_group = low % 10000;
  // Memory order: upper_group / 100, upper_group % 100, lower_group / 100, lower_group % 100.
  const std::uint64_t pairs[4] = {digit_pair(upper_group / 100), digit_pair(upper_group % 100),
                                  digit_pair(lower_group / 100), digit_pair(lower_group % 100)};
  std::uint64_t word = 0;
  for (int i = 0; i < 4; ++i) word |= pairs[i] << (kLittle ? 16 * i : 48 - 16 * i);
  const std::uint64_t upper_word = kZeros | (std::uint64_t{high} << (kLittle ? 56 : 0));
  std::memcpy(end - 16, &upper_word, 8);
  std::memcpy(end - 8, &word, 8);
  // The character nearest `end` is the most significant byte on a
  // little-endian machine. Eight zero characters below leave high != 0.
  const std::uint64_t nonzero = word ^ kZeros;
  if (nonzero == 0) return 8;
  return (kLittle ? std::countl_zero(nonzero) : std::countr_zero(nonzero)) / 8;
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

constexpr std::uint64_t kPow5[] = {1,      5,       25,       125,       625,        3125,
                                   15625,  78125,   390625,   1953125,   9765625,    48828125};

// The fast path below covers normal floats m * 2^-s with 1 <= s <= 33, i.e.
// biased exponents 117 to 149: 2^-10 <= magnitude < 2^24.
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

// The exact text of a short binary fraction is written straight into the
// caller's room. Its length follows from the bit pattern (the integer part's
// size and the count of fraction bits) before any digit is formed, so the
// digits are stored as whole words without a loop over characters. The
// fraction digits come from multiplications in 64-bit lanes rather than a
// loop of divisions.
constexpr bool kLittle = std::endian::native == std::endian::little;
constexpr std::uint64_t kZeros = 0x3030303030303030u;
constexpr std::uint32_t kPow10Small[] = {1,      10,      100,      1000,      10000,
                                         100000, 1000000, 10000000, 100000000, 1000000000};

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
  x = tens | ((x - tens * 10) << 8);
  if constexpr (kLittle) return x;
  // Reverse the bytes so that the first digit is stored first.
  std::uint64_t reversed = 0;
  for (int i = 0; i < 8; ++i) reversed |= ((x >> (8 * i)) & 0xffu) << (56 - 8 * i);
  return reversed;
}

// The same for the four digits of `value` < 10^4, in 32 bits.
std::uint32_t four_digit_values(std::uint32_t value) {
  const std::uint32_t hundreds = (value * 10486) >> 20;
  std::uint32_t x = hundreds | ((value - hundreds * 100) << 16);
  const std::uint32_t tens = ((x * 103) >> 10) & 0x000f000fu;
  x = tens | ((x - tens * 10) << 8);
  if constexpr (kLittle) return x;
  return (x >> 24) | ((x >> 8) & 0xff00u) | ((x << 8) & 0xff0000u) | (x << 24);
}

// Digits of `value`, at least 1, from its bit width: 1233 / 4096 is
// just above log10(2). 0 counts as 1 digit, and as 10^k - 1 is odd, setting
// the lowest bit never carries a value across a power of ten.
int decimal_length(std::uint32_t value) {
  const std::uint32_t odd = value | 1u;
  const int guess = (std::bit_width(odd) * 1233) >> 12;
  return guess + (odd >= kPow10Small[guess] ? 1 : 0);
}

// Stores the fraction `value` < 10^decimals with `decimals` digits, leading
// zeros included, at `p` (1 <= decimals <= 11); up to 16 bytes are stored
// whatever the length.
void put_fraction(char* p, std::uint64_t value, int decimals) {
  if (decimals <= 4) {
    const std::uint32_t text =
        four_digit_values(static_cast<std::uint32_t>(value) * kPow10Small[4 - decimals]) | 0x30303030u;
    std::memcpy(p, &text, 4);
    return;
  }
  if (decimals <= 8) {
    const std::uint64_t text =
        eight_digit_values(static_cast<std::uint32_t>(value * kPow10Small[8 - decimals])) | kZeros;
    std::memcpy(p, &text, 8);
    return;
  }
  const std::uint64_t scaled = value * kPow10[16 - decimals];
  const std::uint64_t high = eight_digit_values(static_cast<std::uint32_t>(scaled / 100000000)) | kZeros;
  const std::uint64_t low = eight_digit_values(static_cast<std::uint32_t>(scaled % 100000000)) | kZeros;
  std::memcpy(p, &high, 8);
  std::memcpy(p + 8, &low, 8);
}

// Writes [-]integer.fraction with `integer` < 10^8 and the fraction <
// 10^decimals written with all its `decimals` digits (1 to 11), the last of
// which is not 0; returns the end. Stores up to 16 bytes past the end.
char* put_exact_decimal(char* p, std::uint32_t integer, std::uint64_t fraction, int decimals, bool negative) {
  const int sign = negative ? 1 : 0;
  const int integer_length = decimal_length(integer);
  *p = '-';
  char* const point = p + sign + integer_length;
  write_digits_backwards(point, integer);
  *point = '.';
  put_fraction(point + 1, fraction, decimals);
  return point + 1 + decimals;
}

// Shortest text of a non-integral float with biased exponent in the fast
// range; `bits` is its magnitude's bit pattern. Let J be the level from the
// table: a step of 10^-J is narrower than the rounding interval, so at least
// one J-digit fraction reads back, and a step of 10^-(J-1) is wider (never
// equal: the widths are not powers of ten), so at most one (J-1)-digit
// fraction does, and every shorter fraction that reads back is that same
// numeral. Hence: if a (J-1)-digit fraction fits, it is the answer with its
// trailing zeros removed; otherwise the nearest J-digit fraction, which on a
// tie is the upper one. The nearest fits unless it lies below beyond a power
// of two's short lower reach, and then the one above fits.
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
char* put_fraction_text(char* p, std::uint32_t bits, bool negative) {
  const std::uint64_t m = (bits & 0x7fffffu) | 0x800000u;
  const int s = static_cast<int>(kFastEndExponent - (bits >> 23));
  const bool m_power_of_two = (bits & 0x7fffffu) == 0;
  const int level = m_power_of_two ? kFractionLevels.power_of_two[s] : kFractionLevels.plain[s];
  // No integer fits the interval of a non-integral float below 2^24, so the
  // numeral's integer part is the float's.
  const auto integer = static_cast<std::uint32_t>(m >> s);

  const int zero_bits = std::countr_zero(m);  // < s: the value is not integral
  const int fraction_bits = s - zero_bits;
  if (fraction_bits <= level - (m_power_of_two ? 1 : 0)) {
    const std::uint64_t odd = (m & ((std::uint64_t{1} << s) - 1)) >> zero_bits;
    return put_exact_decimal(p, integer, odd * kPow5[fraction_bits], fraction_bits, negative);
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
  const auto below = static_cast<std::uint32_t>(value4 >> shift);
  const std::uint64_t below_distance = value4 & (step - 1);
  const std::uint32_t coarse = below / 10;
  const std::uint32_t last_digit = below % 10;
  const bool coarse_below_fits = fits_below(last_digit * step + below_distance);
  const bool coarse_fits = coarse_below_fits || fits_above((10 - last_digit) * step - below_distance);
  const bool nearest_is_below = 2 * below_distance < step && fits_below(below_distance);
  const std::uint32_t digits = coarse_fits ? coarse + (coarse_below_fits ? 0 : 1)
                                           : below + (nearest_is_below ? 0 : 1);
  const int decimals = coarse_fits ? level - 1 : level;

  // The fraction is written with all of its `decimals` digits (zero-padded
  // to 16 places, which also covers the at most 11 decimals), then its
  // trailing zeros are cut off.
  const auto fraction = static_cast<std::uint32_t>(digits - integer * kPow10[decimals]);
  char text[kMaxShortest + 32];
  char* const end = text + kMaxShortest;
  std::memset(end, 0, 32);
  const int trailing_zeros = write_fraction_16_backwards(end, fraction);
  char* begin = end - decimals;
  *--begin = '.';
  begin = write_digits_backwards(begin, integer);
  if (negative) *--begin = '-';
  // The text is at most 1 + 8 + 1 + 11 bytes long. A copy of constant width
  // compiles to register moves where a short copy of variable width is a
  // library call; the caller's room takes the bytes past the text.
  std::memcpy(p, begin, 32);
  return p + (end - trailing_zeros - begin);
}

// Shortest text of a finite, non-zero float outside the fast range.
char* put_general(char* p, float magnitude, bool negative) {
  if (negative) *p++ = '-';
  return place_point(p, shortest_decimal(magnitude));
}

char* put_unsigned(char* p, std::uint32_t magnitude, bool negative) {
  *p = '-';
  char* const end = p + (negative ? 1 : 0) + decimal_length(magnitude);
  write_digits_backwards(end, magnitude);
  return end;
}

char* put_int64(char* p, std::int64_t value) {
  // Negate in unsigned arithmetic so that the smallest int64 does not overflow.
  const bool negative = value < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  char buffer[24];
  char* const end = buffer + sizeof buffer;
  char* begin = write_digits_backwards(end, magnitude);
  if (negative) *--begin = '-';
  const auto length = static_cast<std::size_t>(end - begin);
  std::memcpy(p, begin, length);
  return p + length;
}

char* put_text(char* p, const char* text, std::size_t length) {
  std::memcpy(p, text, length);
  return p + length;
}

// Runs a writer in a local buffer and appends the text it wrote.
template <typename Writer>
void append_written(std::string& out, Writer write) {
  char text[kNumberTextRoom];
  out.append(text, static_cast<std::size_t>(write(text) - text));
}

}  // namespace

char* write_shortest(char* p, float value) {
  const auto raw = std::bit_cast<std::uint32_t>(value);
  const bool negative = (raw >> 31) != 0;
  const std::uint32_t bits = raw & 0x7fffffffu;
  const std::uint32_t exponent = bits >> 23;
  if (exponent >= kFastLowestExponent && exponent < kFastEndExponent) {
    // Below 2^24 every integer is a float and its neighbours are at most 1
    // away, so no shorter digit string reads back as it: the integer is its text.
    const int s = static_cast<int>(kFastEndExponent - exponent);
    const std::uint64_t m = (bits & 0x7fffffu) | 0x800000u;
    if ((m & ((std::uint64_t{1} << s) - 1)) == 0) {
      return put_unsigned(p, static_cast<std::uint32_t>(m >> s), negative);
    }
    return put_fraction_text(p, bits, negative);
  }
  if (bits == 0) return negative ? put_text(p, "-0", 2) : put_text(p, "0", 1);
  if (bits >= 0x7f800000u) {
    if (bits > 0x7f800000u) return put_text(p, "NaN", 3);
    return negative ? put_text(p, "-inf", 4) : put_text(p, "inf", 3);
  }
  return put_general(p, std::fabs(value), negative);
}

char* write_number(char* p, float value) {
  // Integral means value - trunc(value) == 0. Inside the 32-bit range the
  // truncating conversion decides it; every float at or beyond 2^31 in
  // magnitude is integral (or NaN or infinite).
  if (value > -2147483648.0f && value < 2147483648.0f) {
    const auto integer = static_cast<std::int32_t>(value);
    if (static_cast<float>(integer) == value) {
      // "-0" compares equal to 0 and is written "0".
      const bool negative = integer < 0;
      const auto magnitude = static_cast<std::uint32_t>(integer);
      return put_unsigned(p, negative ? 0u - magnitude : magnitude, negative);
    }
    // Not integral, so below 2^23 in magnitude.
    const auto raw = std::bit_cast<std::uint32_t>(value);
    const std::uint32_t bits = raw & 0x7fffffffu;
    if ((bits >> 23) >= kFastLowestExponent) return put_fraction_text(p, bits, (raw >> 31) != 0);
    return put_general(p, std::fabs(value), (raw >> 31) != 0);
  }
  if (std::isnan(value) || std::isinf(value)) return write_shortest(p, value);
  // Floats at or beyond +-2^63 saturate; every float inside that range
  // converts exactly.
  constexpr float kTwo63 = 9223372036854775808.0f;
  if (value >= kTwo63) return put_int64(p, std::numeric_limits<std::int64_t>::max());
  if (value < -kTwo63) return put_int64(p, std::numeric_limits<std::int64_t>::min());
  return put_int64(p, static_cast<std::int64_t>(value));  // -2^63 itself is exact
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
  char* const end = track::write_number(p, value);
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

}  // namespace track
