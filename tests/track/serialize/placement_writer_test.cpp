// Motif and subtrack placement lines and the directive line of a layer.

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "tracksmith/track/serialize/writers.hpp"

using namespace tracksmith;

namespace {

namespace fx = song::effect;
using song::Layer;
using song::MotifInstance;
using song::SubtrackInstance;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

MotifInstance motif(const char* name, float start, const char* sound, float transpose = 0.0f,
                    std::optional<std::string> tuning = std::nullopt) {
  MotifInstance m;
  m.motif = name;
  m.start = start;
  m.sound = sound;
  m.transpose = transpose;
  m.tuning = std::move(tuning);
  return m;
}

TEST(MotifInstanceLine, SoundAlwaysWrittenOptionsWhenSet) {
  struct Case {
    MotifInstance instance;
    const char* expected;
  };
  const Case cases[] = {
      {motif("m1", 4, "piano"), "motif m1 4 piano"},
      {motif("m1", 4, "piano", -12, "just"), "motif m1 4 piano transpose -12 tuning just"},
      {motif("m1", 4, ""), "motif m1 4 "},
      {motif("m1", -0.0f, "piano", -0.0f), "motif m1 0 piano"},
      {motif("m1", 8, "piano", kNaN), "motif m1 8 piano transpose NaN"},
      {motif("m1", 0.5f, "piano", 0.5f, ""), "motif m1 0.5 piano transpose 0.5 tuning "},
  };
  for (const auto& c : cases) EXPECT_EQ(track::serialize::format_motif_instance(c.instance), c.expected);
}

TEST(SubtrackInstanceLine, SoundIsABareOptionalToken) {
  struct Case {
    std::optional<std::string> sound;
    float start, transpose;
    std::optional<std::string> tuning;
    const char* expected;
  };
  const Case cases[] = {
      {std::nullopt, 0.5f, 0.5f, std::nullopt, "subtrack s1 0.5 transpose 0.5"},
      {"kit", 0.0f, 0.0f, std::nullopt, "subtrack s1 0 kit"},
      {"kit", 2.0f, 2.0f, "just", "subtrack s1 2 kit transpose 2 tuning just"},
      {std::nullopt, -0.0f, -0.0f, "just", "subtrack s1 0 tuning just"},
      {"", 1.0f, 0.0f, std::nullopt, "subtrack s1 1 "},
  };
  for (const auto& c : cases) {
    SubtrackInstance s;
    s.subtrack = "s1";
    s.sound = c.sound;
    s.start = c.start;
    s.transpose = c.transpose;
    s.tuning = c.tuning;
    EXPECT_EQ(track::serialize::format_subtrack_instance(s), c.expected);
  }
}

TEST(LayerDirectives, EachDirectiveAndItsDefault) {
  struct Case {
    const char* name;
    void (*set)(Layer&);
    const char* expected;
  };
  const Case cases[] = {
      {"defaults", [](Layer&) {}, ""},
      {"volume 2", [](Layer& l) { l.volume = 2; }, "@volume 2"},
      {"volume 1+2^-23", [](Layer& l) { l.volume = 1.0000001f; }, "@volume 1.0000001"},
      {"volume NaN", [](Layer& l) { l.volume = kNaN; }, "@volume NaN"},
      {"param scale 1",
       [](Layer& l) {
         l.volume = 0.5f;
         l.volume_param = song::ParamScale{"energy", 1.0f};
       },
       "@volume param energy"},
      {"param scale 1+2^-23",
       [](Layer& l) { l.volume_param = song::ParamScale{"energy", 1.0000001f}; },
       "@volume param energy"},
      {"param scale 1+2^-22",
       [](Layer& l) { l.volume_param = song::ParamScale{"energy", 1.0000002f}; },
       "@volume param energy 1.0000002"},
      {"param scale NaN",
       [](Layer& l) { l.volume_param = song::ParamScale{"energy", kNaN}; },
       "@volume param energy"},
      {"param scale 0.5",
       [](Layer& l) { l.volume_param = song::ParamScale{"energy", 0.5f}; },
       "@volume param energy 0.5"},
      {"pan -0", [](Layer& l) { l.pan = -0.0f; }, ""},
      {"pan -0.25", [](Layer& l) { l.pan = -0.25f; }, "@pan -0.25"},
      {"root 440", [](Layer& l) { l.root = 440.0f; }, ""},
      {"root 440.5", [](Layer& l) { l.root = 440.5f; }, "@root 440.5"},
      {"loop 4", [](Layer& l) { l.loop = 4.0f; }, "@loop 4"},
      {"loop 0", [](Layer& l) { l.loop = 0.0f; }, "@loop 0"},
      {"loop skip",
       [](Layer& l) {
         l.loop = 4.0f;
         l.loop_skip = 1.5f;
       },
       "@loop 4 skip 1.5"},
      {"loop skip NaN",
       [](Layer& l) {
         l.loop = 4.0f;
         l.loop_skip = kNaN;
       },
       "@loop 4 skip NaN"},
      {"skip without loop", [](Layer& l) { l.loop_skip = 1.5f; }, ""},
      {"flags and tuning",
       [](Layer& l) {
         l.mute = true;
         l.solo = true;
         l.tuning = "just";
       },
       "@mute true @solo true @tuning just"},
      {"volume pan effects",
       [](Layer& l) {
         l.volume = 0.5f;
         l.pan = -1.0f;
         l.effects = {fx::Lowpass{800}, fx::Bitcrusher{8}};
       },
       "@volume 0.5 @pan -1 @effect lowpass 800 @effect bitcrusher 8"},
      {"only an echo", [](Layer& l) { l.effects = {fx::Echo{0.25f, 0.5f, 0.3f}}; },
       "@effect echo 0.25 0.5 0.3"},
      {"all in order",
       [](Layer& l) {
         l.effects = {fx::Highpass{80}};
         l.root = 432;
         l.tuning = "just";
         l.loop = 8;
         l.solo = true;
         l.mute = true;
         l.pan = 0.5f;
         l.volume_param = song::ParamScale{"p", 2};
       },
       "@volume param p 2 @pan 0.5 @mute true @solo true @loop 8 @tuning just @root 432 "
       "@effect highpass 80"},
  };
  for (const auto& c : cases) {
    Layer layer;
    c.set(layer);
    EXPECT_EQ(track::serialize::layer_directives(layer), c.expected) << c.name;
  }
}

TEST(LayerDirectives, EveryEffectKind) {
  struct Case {
    song::Effect effect;
    const char* expected;
  };
  const Case cases[] = {
      {fx::Lowpass{1200}, "@effect lowpass 1200"},
      {fx::Highpass{80.5f}, "@effect highpass 80.5"},
      {fx::LowpassParam{"cut", 200, 0.5f}, "@effect lowpass param cut 200 0.5"},
      {fx::HighpassParam{"air", 100, 2}, "@effect highpass param air 100 2"},
      {fx::Echo{0.25f, 0.5f, 0.3f}, "@effect echo 0.25 0.5 0.3"},
      {fx::Tremolo{5, 0.5f}, "@effect tremolo 5 0.5"},
      {fx::Bitcrusher{255}, "@effect bitcrusher 255"},
      {fx::Bitcrusher{0}, "@effect bitcrusher 0"},
      {fx::Compressor{-20, 4, 0.01f, 0.1f}, "@effect compressor -20 4 0.01 0.1"},
      {fx::Eq{1, -2, 3, 0.5f}, "@effect eq 1 -2 3 0.5"},
      {fx::DelaySync{0.5f, 0.25f, -0.0f}, "@effect delay_sync 0.5 0.25 0"},
      {fx::Reverb{0.8f, 2, 0.25f, 0}, "@effect reverb 0.8 2 0.25 0"},
      {fx::ReverbByName{"big hall"}, "@effect reverb big hall"},
  };
  for (const auto& c : cases) {
    Layer layer;
    layer.effects = {c.effect};
    EXPECT_EQ(track::serialize::layer_directives(layer), c.expected);
  }
}

}  // namespace
