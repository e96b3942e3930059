#include "tracksmith/track/serialize/number_text.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace tracksmith;

namespace {

struct Case {
  float value;
  const char* shortest;
  const char* number;
};

TEST(NumberText, KnownValues) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const Case cases[] = {
      {0.0f, "0", "0"},
      {-0.0f, "-0", "0"},
      {1.0f, "1", "1"},
      {-9.0f, "-9", "-9"},
      {100.0f, "100", "100"},
      {0.5f, "0.5", "0.5"},
      {-0.25f, "-0.25", "-0.25"},
      {12.5f, "12.5", "12.5"},
      {0.79f, "0.79", "0.79"},
      {0.1f, "0.1", "0.1"},
      {-1.1920929e-7f, "-0.00000011920929", "-0.00000011920929"},
      {1e-7f, "0.0000001", "0.0000001"},
      // Exact ties between two equally short numerals go to the larger magnitude.
      {1048576.25f, "1048576.3", "1048576.3"},
      {-1048576.25f, "-1048576.3", "-1048576.3"},
      {0.197265625f, "0.19726563", "0.19726563"},
      {0.000244140625f, "0.00024414063", "0.00024414063"},  // 2^-12, the only tie below 2^-10
      {16777216.0f, "16777216", "16777216"},
      {16777217.0f, "16777216", "16777216"},  // not a float: rounds to 2^24
      {33554436.0f, "33554436", "33554436"},
      {1073741824.0f, "1073741800", "1073741824"},
      {-1073741824.0f, "-1073741800", "-1073741824"},
      {9223372036854775808.0f, "9223372000000000000", "9223372036854775807"},
      {-9223372036854775808.0f, "-9223372000000000000", "-9223372036854775808"},
      {1e30f, "1000000000000000000000000000000", "9223372036854775807"},
      {-1e30f, "-1000000000000000000000000000000", "-9223372036854775808"},
      {std::numeric_limits<float>::max(), "340282350000000000000000000000000000000",
       "9223372036854775807"},
      {std::numeric_limits<float>::denorm_min(), "0.000000000000000000000000000000000000000000001",
       "0.000000000000000000000000000000000000000000001"},
      {std::numeric_limits<float>::min(), "0.000000000000000000000000000000000000011754944",
       "0.000000000000000000000000000000000000011754944"},
      {nan, "NaN", "NaN"},
      {-nan, "NaN", "NaN"},
      {inf, "inf", "inf"},
      {-inf, "-inf", "-inf"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(track::serialize::shortest_text(c.value), c.shortest) << c.shortest;
    EXPECT_EQ(track::serialize::number_text(c.value), c.number) << c.number;
  }
}

TEST(NumberText, FractionsAtTheEdgesOfTheDirectPath) {
  // Non-integral values from 2^-10 up to 2^24 take a direct path; its edges,
  // long integer parts, powers of two and fractions that lose many zeros.
  const Case cases[] = {
      {0.0009765625f, "0.0009765625", "0.0009765625"},      // 2^-10, lowest
      {0.00097656244f, "0.00097656244", "0.00097656244"},   // just below it
      {8388607.5f, "8388607.5", "8388607.5"},               // highest non-integral
      {1234567.1f, "1234567.1", "1234567.1"},
      {-0.0625f, "-0.0625", "-0.0625"},
      {-0.5f, "-0.5", "-0.5"},
      {0.001f, "0.001", "0.001"},
      {0.01f, "0.01", "0.01"},
      {0.99975586f, "0.99975586", "0.99975586"},
      {1.3333334f, "1.3333334", "1.3333334"},
      {0.33333334f, "0.33333334", "0.33333334"},
      {5.0000005f, "5.0000005", "5.0000005"},
      {8388607.0f, "8388607", "8388607"},
      {16777215.0f, "16777215", "16777215"},
      // Number text around the 32-bit integer range.
      {2147483520.0f, "2147483500", "2147483520"},
      {-2147483520.0f, "-2147483500", "-2147483520"},
      {2147483648.0f, "2147483600", "2147483648"},
      {-2147483648.0f, "-2147483600", "-2147483648"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(track::serialize::shortest_text(c.value), c.shortest) << c.shortest;
    EXPECT_EQ(track::serialize::number_text(c.value), c.number) << c.number;
  }
}

TEST(NumberText, ShortBinaryFractionsAreWrittenExactly) {
  // A value with few fraction bits is its own shortest text when its exact
  // decimals are not too many for its magnitude; each fraction width (up to
  // 4, up to 8, 9 and 10 decimals), integer parts of 0 to 7 digits, the
  // most decimals such a value may have, and neighbours one fraction bit too
  // long, which round instead.
  const Case cases[] = {
      {0.5f, "0.5", "0.5"},
      {-0.8125f, "-0.8125", "-0.8125"},
      {1234.5625f, "1234.5625", "1234.5625"},    // as many decimals as the magnitude allows
      {-1234.5625f, "-1234.5625", "-1234.5625"},
      {170314.25f, "170314.25", "170314.25"},
      {8388607.5f, "8388607.5", "8388607.5"},
      {12.34375f, "12.34375", "12.34375"},       // 5 decimals
      {0.0390625f, "0.0390625", "0.0390625"},    // 7 decimals
      {0.01171875f, "0.01171875", "0.01171875"},  // 8 decimals
      {0.064453125f, "0.064453125", "0.064453125"},       // 9 decimals, the most for 2^-4
      {-0.0087890625f, "-0.0087890625", "-0.0087890625"},  // 10 decimals, the most there is
      {0.0029296875f, "0.0029296875", "0.0029296875"},
      // One fraction bit more than the magnitude allows: rounded, ties upwards.
      {4194303.75f, "4194303.8", "4194303.8"},
      {-4194303.75f, "-4194303.8", "-4194303.8"},
      {1048575.875f, "1048575.9", "1048575.9"},
      {99999.96875f, "99999.97", "99999.97"},
      {0.220703125f, "0.22070313", "0.22070313"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(track::serialize::shortest_text(c.value), c.shortest) << c.shortest;
    EXPECT_EQ(track::serialize::number_text(c.value), c.number) << c.number;
  }
}

TEST(NumberText, LongRunsOfAppendsKeepEveryText) {
  // Texts are written past the current end and the string is cut back, so
  // each must survive the appends after it, across reallocations.
  const float values[] = {0.79f, -12.125f, 3.0f, 0.0009765625f, -1234567.1f, 1e-7f, 0.5f};
  std::string out;
  std::string expected;
  for (int round = 0; round < 300; ++round) {
    for (const float v : values) {
      track::serialize::append_number(out, v);
      track::serialize::append_shortest(out, v);
      out += '|';
    }
  }
  for (int round = 0; round < 300; ++round) {
    expected += "0.790.79|-12.125-12.125|33|0.00097656250.0009765625|-1234567.1-1234567.1|"
                "0.00000010.0000001|0.50.5|";
  }
  EXPECT_EQ(out, expected);
}

TEST(NumberText, AppendsToWhatIsThere) {
  std::string out = "x=";
  track::serialize::append_number(out, 2.0f);
  out += ' ';
  track::serialize::append_shortest(out, 0.75f);
  EXPECT_EQ(out, "x=2 0.75");
}

TEST(NumberTextMemo, RepeatedValuesKeepTheirTexts) {
  // Second and third sightings come from the memo; zero and negative zero,
  // NaN and the infinities are distinct patterns; texts too long to be
  // remembered are written every time.
  struct MemoCase {
    float value;
    const char* text;
  };
  const MemoCase cases[] = {
      {0.76f, "0.76"},
      {-0.0f, "0"},
      {0.0f, "0"},
      {0.125f, "0.125"},
      {-26.0f, "-26"},
      {std::numeric_limits<float>::quiet_NaN(), "NaN"},
      {-std::numeric_limits<float>::infinity(), "-inf"},
      {-9223372036854775808.0f, "-9223372036854775808"},
      {std::numeric_limits<float>::denorm_min(), "0.000000000000000000000000000000000000000000001"},
      {74.0f / 127.0f, "0.5826772"},
      {0.012345679f, "0.012345679"},    // the longest text an entry keeps
      {-0.012345679f, "-0.012345679"},  // one byte longer: written each time
  };
  track::serialize::NumberTextMemo memo;
  for (int round = 0; round < 3; ++round) {
    for (const MemoCase& c : cases) {
      std::string out = "x";
      memo.append_number(out, c.value);
      EXPECT_EQ(out, std::string("x") + c.text) << c.text << " round " << round;
    }
  }
}

TEST(NumberTextMemo, ManyDistinctValuesEvictWithoutMixingTexts) {
  // Far more values than entries, revisited in a scrambled order, so entries
  // are overwritten many times; every text must stay the one of its value.
  std::vector<float> values;
  for (int k = 0; k < 3000; ++k) values.push_back(static_cast<float>(k) / 100.0f);
  for (int k = 0; k < 300; ++k) values.push_back(std::ldexp(static_cast<float>(k | 1), -9));
  std::mt19937 random(5);
  track::serialize::NumberTextMemo memo;
  std::string out;
  std::string expected;
  for (int i = 0; i < 40000; ++i) {
    const float v = values[random() % values.size()];
    memo.append_number(out, v);
    out += ' ';
    expected += track::serialize::number_text(v);
    expected += ' ';
  }
  EXPECT_EQ(out, expected);
}

// ---------------------------------------------------------------------------
// An independent checker. It works on exact decimal expansions: glibc prints
// a double (which holds every float exactly) with as many exact fraction
// digits as asked for, so |value| becomes a fixed-point digit string. The
// numerals nearest the exact value at every granularity are derived from it by
// truncation and increment, read back with strtof and compared exactly.

constexpr int kIntegerDigits = 40;   // largest float < 10^39
constexpr int kFractionDigits = 150;  // smallest subnormal has 149 decimals
constexpr int kWidth = kIntegerDigits + kFractionDigits;

using Fixed = std::vector<int>;  // kWidth digits, most significant first

Fixed exact_of(float magnitude) {
  char buffer[kWidth + 8];
  std::snprintf(buffer, sizeof buffer, "%0*.*f", kWidth + 1, kFractionDigits, static_cast<double>(magnitude));
  Fixed digits;
  for (const char* p = buffer; *p != '\0'; ++p) {
    if (*p != '.') digits.push_back(*p - '0');
  }
  return digits;
}

// Parses a plain numeral (no sign, no exponent) into the fixed frame.
Fixed fixed_of(const std::string& text) {
  Fixed digits(kWidth, 0);
  const auto point = text.find('.');
  const std::string integer = text.substr(0, point);
  const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
  for (std::size_t i = 0; i < integer.size(); ++i) {
    digits[kIntegerDigits - integer.size() + i] = integer[i] - '0';
  }
  for (std::size_t i = 0; i < fraction.size(); ++i) digits[kIntegerDigits + i] = fraction[i] - '0';
  return digits;
}

std::string text_of(const Fixed& digits) {
  std::size_t first = 0;
  while (first + 1 < static_cast<std::size_t>(kIntegerDigits) && digits[first] == 0) ++first;
  std::size_t last = kWidth;
  while (last > static_cast<std::size_t>(kIntegerDigits) && digits[last - 1] == 0) --last;
  std::string text;
  for (std::size_t i = first; i < last; ++i) {
    if (i == static_cast<std::size_t>(kIntegerDigits)) text += '.';
    text += static_cast<char>('0' + digits[i]);
  }
  return text;
}

int significant_digits(const Fixed& digits) {
  int first = 0;
  while (first < kWidth && digits[first] == 0) ++first;
  int last = kWidth;
  while (last > first && digits[last - 1] == 0) --last;
  return last - first;
}

int compare(const Fixed& a, const Fixed& b) {
  for (int i = 0; i < kWidth; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

Fixed distance(const Fixed& a, const Fixed& b) {
  const bool a_larger = compare(a, b) >= 0;
  const Fixed& big = a_larger ? a : b;
  const Fixed& small = a_larger ? b : a;
  Fixed result(kWidth, 0);
  int borrow = 0;
  for (int i = kWidth - 1; i >= 0; --i) {
    int d = big[i] - small[i] - borrow;
    borrow = d < 0 ? 1 : 0;
    result[i] = d + 10 * borrow;
  }
  return result;
}

bool reads_back(const Fixed& numeral, float magnitude) {
  return std::strtof(text_of(numeral).c_str(), nullptr) == magnitude;
}

// Empty when `text` is the right shortest text of the finite, non-zero
// `value`; otherwise what is wrong with it.
std::string check_shortest(float value, const std::string& text) {
  if (text.find_first_not_of("-.0123456789") != std::string::npos) return "bad characters";
  const bool negative = !text.empty() && text[0] == '-';
  if (negative != std::signbit(value)) return "wrong sign";
  const std::string body = text.substr(negative ? 1 : 0);
  if (body.empty() || body.front() == '.' || body.back() == '.') return "malformed";
  if (body.size() > 1 && body[0] == '0' && body[1] != '.') return "leading zero";
  if (body.find('.') != std::string::npos && body.back() == '0') return "trailing zero";
  const float magnitude = std::fabs(value);
  if (std::strtof(body.c_str(), nullptr) != magnitude) return "does not read back";

  const Fixed exact = exact_of(magnitude);
  const Fixed written = fixed_of(body);
  const int length = significant_digits(written);
  const Fixed written_distance = distance(written, exact);
  int lead = 0;
  while (exact[lead] == 0) ++lead;
  // Granularities that can give numerals of up to `length` digits, one either way.
  const int finest = std::min(kWidth - 1, lead + length);
  for (int g = std::max(0, lead - 2); g <= finest; ++g) {
    Fixed below = exact;
    for (int i = g + 1; i < kWidth; ++i) below[i] = 0;
    Fixed above = below;
    if (compare(below, exact) != 0) {
      int i = g;
      while (i >= 0 && above[i] == 9) above[i--] = 0;
      if (i >= 0) ++above[i];
    }
    for (const Fixed* candidate : {&below, &above}) {
      const int digits = significant_digits(*candidate);
      if (digits == 0 || digits > length || compare(*candidate, written) == 0) continue;
      if (!reads_back(*candidate, magnitude)) continue;
      if (digits < length) return "shorter numeral " + text_of(*candidate) + " reads back";
      const int nearer = compare(distance(*candidate, exact), written_distance);
      if (nearer < 0) return "nearer numeral " + text_of(*candidate);
      if (nearer == 0 && compare(*candidate, written) > 0) return "larger tie " + text_of(*candidate);
    }
  }
  return "";
}

TEST(NumberText, CheckerRejectsWrongTexts) {
  EXPECT_EQ(check_shortest(1048576.25f, "1048576.3"), "");
  EXPECT_NE(check_shortest(1048576.25f, "1048576.2"), "");  // the even tie
  EXPECT_NE(check_shortest(0.1f, "0.100000001"), "");        // not shortest
  EXPECT_NE(check_shortest(0.79f, "0.7900000"), "");         // trailing zeros
  EXPECT_NE(check_shortest(1e30f, "1e30"), "");              // exponent
  EXPECT_NE(check_shortest(0.3f, "0.30000001"), "");
}

TEST(NumberText, RandomBitPatternsAreShortestNearestAndLarger) {
  std::mt19937 random(20240611);
  int checked = 0;
  for (int i = 0; i < 120000; ++i) {
    const float value = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
    if (!std::isfinite(value) || value == 0.0f) continue;
    const std::string text = track::serialize::shortest_text(value);
    ASSERT_EQ(check_shortest(value, text), "") << text << " bits " << std::bit_cast<std::uint32_t>(value);
    ++checked;
  }
  EXPECT_GT(checked, 100000);
}

TEST(NumberText, RandomMusicalValuesAreShortestNearestAndLarger) {
  // The range where note starts, lengths and volumes live, including short
  // decimals and exact binary fractions (which produce most ties).
  std::mt19937 random(7);
  for (int i = 0; i < 60000; ++i) {
    float value = 0.0f;
    switch (i % 3) {
      case 0: value = static_cast<float>(random() % 100000) / static_cast<float>(1u << (random() % 24)); break;
      case 1: value = static_cast<float>(random() % 100000) / 1000.0f; break;
      default: value = std::ldexp(static_cast<float>(random() % (1u << 24)), static_cast<int>(random() % 40) - 34);
    }
    if (value == 0.0f) continue;
    if (i % 2 == 1) value = -value;
    const std::string text = track::serialize::shortest_text(value);
    ASSERT_EQ(check_shortest(value, text), "") << text;
  }
}

TEST(NumberText, RandomShortBinaryFractionsAreShortestNearestAndLarger) {
  // Values with 1 to 12 fraction bits at every magnitude of the range where
  // they are written without rounding search, and just beyond it.
  std::mt19937 random(11);
  for (int i = 0; i < 60000; ++i) {
    const int fraction_bits = 1 + static_cast<int>(random() % 12);
    const auto numerator = static_cast<float>(random() % (1u << 24));
    const float scaled = std::ldexp(numerator, -fraction_bits);
    const float value = std::ldexp(scaled, -static_cast<int>(random() % 12));
    if (value == 0.0f) continue;
    const float signed_value = i % 2 == 1 ? -value : value;
    const std::string text = track::serialize::shortest_text(signed_value);
    ASSERT_EQ(check_shortest(signed_value, text), "") << text;
    if (value != std::trunc(value)) {
      EXPECT_EQ(track::serialize::number_text(signed_value), text);
    }
  }
}

TEST(NumberText, NumberTextOfIntegralValuesIsTheExactInteger) {
  // Every integral float below 2^63 in magnitude is written as its exact value.
  std::mt19937 random(3);
  for (int i = 0; i < 20000; ++i) {
    const float value = std::ldexp(static_cast<float>(random() % (1u << 24)), static_cast<int>(random() % 40));
    if (value >= 9223372036854775808.0f) continue;
    const auto integer = static_cast<long long>(value);
    EXPECT_EQ(track::serialize::number_text(value), std::to_string(integer));
    EXPECT_EQ(track::serialize::number_text(-value), std::to_string(-integer));
  }
}

}  // namespace
