// Tuning bodies (equal-temperament compression, period line) and wave bodies.

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "tracksmith/track/multisong/track_sections.hpp"

using namespace tracksmith;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

const std::vector<float> kTwelve = {1.0f,       1.0594631f, 1.122462f,  1.1892071f,
                                    1.2599211f, 1.3348398f, 1.4142135f, 1.4983071f,
                                    1.587401f,  1.6817929f, 1.7817974f, 1.8877486f};

std::string tuning_body(std::vector<float> ratios, float period) {
  std::string out;
  track::multisong::serialize_tuning(song::Tuning{std::move(ratios), period}, out);
  return out;
}

TEST(TuningBody, Cases) {
  struct Case {
    const char* name;
    std::vector<float> ratios;
    float period;
    const char* expected;
  };
  const Case cases[] = {
      {"twelve-tone equal", kTwelve, 2.0f, "equal 12\n"},
      {"period 3",
       kTwelve,
       3.0f,
       "period 3\n1 1.0594631 1.122462 1.1892071 1.2599211 1.3348398 1.4142135 1.4983071 "
       "1.587401 1.6817929 1.7817974 1.8877486\n"},
      {"period just below 2", kTwelve, 1.9999999f, "equal 12\n"},
      {"period NaN counts as 2", kTwelve, kNaN, "equal 12\n"},
      {"period 2.001", {1.0f, 1.25f, 1.5f}, 2.001f, "period 2.001\n1 1.25 1.5\n"},
      {"one step", {1.0f}, 2.0f, "1\n"},
      {"no ratios", {}, 2.0f, "\n"},
      {"just", {1.0f, 1.25f, 1.5f}, 2.0f, "1 1.25 1.5\n"},
      {"two-step equal", {1.0f, 1.4142135f}, 2.0f, "equal 2\n"},
      {"inside relative 1e-5", {1.0000099f, 1.4142135f}, 2.0f, "equal 2\n"},
      {"outside relative 1e-5", {1.00001f, 1.4142135f}, 2.0f, "1.00001 1.4142135\n"},
      {"NaN ratio", {kNaN, 1.4142135f}, 2.0f, "NaN 1.4142135\n"},
      {"wrong order", {1.4142135f, 1.0f}, 2.0f, "1.4142135 1\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(tuning_body(c.ratios, c.period), c.expected) << c.name;
}

TEST(TuningBody, OneStepOffPreventsCompression) {
  std::vector<float> ratios = kTwelve;
  ratios[1] = 1.06f;
  EXPECT_EQ(tuning_body(ratios, 2.0f),
            "1 1.06 1.122462 1.1892071 1.2599211 1.3348398 1.4142135 1.4983071 1.587401 "
            "1.6817929 1.7817974 1.8877486\n");
}

TEST(WaveBody, OnePointPerLineWithEasing) {
  song::Wave wave;
  std::string out;
  track::multisong::serialize_wave(wave, out);
  EXPECT_EQ(out, "");

  wave.points = {{0, 1, true, true},
                 {0, 1, false, false},
                 {0.25f, -0.0f, true, false},
                 {1, 0.5f, false, true}};
  track::multisong::serialize_wave(wave, out);
  EXPECT_EQ(out, "0 1\n0 1 linear\n0.25 0 ease-in\n1 0.5 ease-out\n");
}

}  // namespace
