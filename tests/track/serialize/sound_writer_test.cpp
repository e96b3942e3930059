// Sound bodies: line order, neutral values and the two tolerance tests.

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "tracksmith/track/multisong/track_sections.hpp"
#include "tracksmith/track/serialize/writers.hpp"

using namespace tracksmith;

namespace {

using song::Envelope;
using song::Modulation;
using song::Oscillator;
using song::Sample;
using song::Sound;
using song::VoiceParam;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(SoundBody, WorkedExample) {
  Sound sound;
  sound.oscillators = {Oscillator{"saw", 0.5f, 1.0f, 0.0f}};
  sound.attack = Envelope{0.01f, false, false};
  sound.vibrato = Modulation{"", 5.0f, 0.2f};
  EXPECT_EQ(track::serialize::format_sound(sound), "saw@0.5 1\n@attack 0.01 linear\n@vibrato 5 0.2\n");
}

TEST(SoundBody, NeutralSoundIsEmpty) {
  EXPECT_EQ(track::serialize::format_sound(Sound{}), "");
  std::string out = "x\n";
  track::multisong::serialize_sound(Sound{}, out);
  EXPECT_EQ(out, "x\n");
}

TEST(SoundBody, OscillatorLevelIsStrictAroundOne) {
  struct Case {
    Oscillator oscillator;
    const char* expected;
  };
  const Case cases[] = {
      {{"sine", 1.0f, 2.0f, 0.0f}, "sine 2\n"},
      {{"sine", 0.99999994f, 2.0f, 0.0f}, "sine 2\n"},
      {{"sine", 0.75f, 2.0f, 0.0f}, "sine@0.75 2\n"},
      {{"sine", 1.0000001f, 2.0f, 0.0f}, "sine@1.0000001 2\n"},
      {{"sine", 0.999f, 2.0f, 0.0f}, "sine@0.999 2\n"},
      {{"sine", kNaN, 2.0f, 0.0f}, "sine@NaN 2\n"},
      {{"square", 1.0f, 1.0f, 0.25f}, "square 1 duty 0.25\n"},
      {{"square", 1.0f, 0.5f, -0.5f}, "square 0.5\n"},
      {{"square", 1.0f, -0.0f, kNaN}, "square 0\n"},
  };
  for (const auto& c : cases) {
    Sound sound;
    sound.oscillators = {c.oscillator};
    EXPECT_EQ(track::serialize::format_sound(sound), c.expected);
  }
}

TEST(SoundBody, SustainAndVolumeIncludeTheToleranceBound) {
  struct Case {
    float value;
    const char* sustain;
    const char* volume;
  };
  const Case cases[] = {
      {1.0f, "", ""},
      {1.0000001f, "", ""},
      {0.99999994f, "", ""},
      {1.0000002f, "@sustain 1.0000002\n", "@volume 1.0000002\n"},
      {0.0f, "@sustain 0\n", "@volume 0\n"},
      {kNaN, "", ""},
  };
  for (const auto& c : cases) {
    Sound sustain;
    sustain.sustain = c.value;
    EXPECT_EQ(track::serialize::format_sound(sustain), c.sustain) << c.value;
    Sound volume;
    volume.volume = c.value;
    EXPECT_EQ(track::serialize::format_sound(volume), c.volume) << c.value;
  }
}

TEST(SoundBody, SampleRanges) {
  struct Case {
    float low, high;
    const char* expected;
  };
  const Case cases[] = {
      {-kInf, kInf, "@sample \"kick.wav\"\n"},
      {-kInf, 12.0f, "@sample \"kick.wav\" @ -inf..12\n"},
      {0.0f, kInf, "@sample \"kick.wav\" @ 0..inf\n"},
      {-2.5f, 3.0f, "@sample \"kick.wav\" @ -2.5..3\n"},
      {kInf, -kInf, "@sample \"kick.wav\" @ inf..-inf\n"},
  };
  for (const auto& c : cases) {
    Sound sound;
    sound.samples = {Sample{"kick.wav", c.low, c.high}};
    EXPECT_EQ(track::serialize::format_sound(sound), c.expected);
  }
}

TEST(SoundBody, VoiceLine) {
  Sound sound;
  sound.voice = "alto";
  sound.voice_overrides = {{VoiceParam::Tilt, 0.5f}, {VoiceParam::Vibrato, 2.0f}};
  sound.ensemble = 3;
  EXPECT_EQ(track::serialize::format_sound(sound), "@voice alto tilt 0.5 vibrato 2 ensemble 3\n");

  sound.ensemble = 1;
  sound.voice_overrides = {{VoiceParam::FormantShift, -1.0f}, {VoiceParam::Breathiness, 0.25f}};
  EXPECT_EQ(track::serialize::format_sound(sound), "@voice alto formant-shift -1 breathiness 0.25\n");

  sound.voice.clear();
  sound.ensemble = 4;
  EXPECT_EQ(track::serialize::format_sound(sound), "");
}

TEST(SoundBody, ScalarSettingsEnvelopesAndModulations) {
  struct Case {
    const char* name;
    void (*set)(Sound&);
    const char* expected;
  };
  const Case cases[] = {
      {"arpeggio",
       [](Sound& s) {
         s.arpeggio = {0, 4, 7};
         s.arpeggio_rate = 8;
       },
       "@arpeggio 0 4 7 rate 8\n"},
      {"rate without steps", [](Sound& s) { s.arpeggio_rate = 8; }, ""},
      {"steps", [](Sound& s) { s.steps = 4; }, "@steps 4\n"},
      {"distortion -0", [](Sound& s) { s.distortion = -0.0f; }, ""},
      {"scalars",
       [](Sound& s) {
         s.noise = 0.3f;
         s.vol_jitter = 0.05f;
         s.detune = -0.1f;
         s.distortion = 0.2f;
         s.duty_sweep = kNaN;
       },
       "@distortion 0.2\n@detune -0.1\n@vol-jitter 0.05\n@noise 0.3\n@duty_sweep NaN\n"},
      {"attack eased", [](Sound& s) { s.attack = Envelope{0.5f, true, true}; }, "@attack 0.5\n"},
      {"envelopes",
       [](Sound& s) {
         s.release = Envelope{1.5f, false, true};
         s.decay = Envelope{0.2f, true, false};
         s.attack = Envelope{0.0f, false, false};
       },
       "@decay 0.2 ease-in\n@release 1.5 ease-out\n"},
      {"negative envelope", [](Sound& s) { s.decay = Envelope{-1.0f, false, false}; }, ""},
      {"modulation shapes",
       [](Sound& s) {
         s.vibrato = Modulation{"sine", 5, 0.2f};
         s.tremolo = Modulation{"triangle", 4, 0.5f};
       },
       "@vibrato 5 0.2\n@tremolo 4 0.5 triangle\n"},
      {"modulation without depth", [](Sound& s) { s.tremolo = Modulation{"square", 4, 0}; }, ""},
      {"slide", [](Sound& s) { s.slide_amount = -2; s.slide_time = 0.25f; }, "@slide -2 0.25\n"},
      {"slide without time", [](Sound& s) { s.slide_amount = -2; }, ""},
      {"filter cutoff only",
       [](Sound& s) {
         s.filter_cutoff = 800;
         s.filter_sweep = Envelope{0.5f, false, true};
       },
       "@filter 800\n"},
      {"filter with sweep",
       [](Sound& s) {
         s.filter_cutoff = 800;
         s.filter_target = 200;
         s.filter_sweep = Envelope{0.5f, false, true};
       },
       "@filter 800 200 0.5 ease-out\n"},
      {"filter without sweep",
       [](Sound& s) {
         s.filter_cutoff = 800;
         s.filter_target = 200;
       },
       "@filter 800 200\n"},
      {"target without cutoff", [](Sound& s) { s.filter_target = 200; }, ""},
  };
  for (const auto& c : cases) {
    Sound sound;
    c.set(sound);
    EXPECT_EQ(track::serialize::format_sound(sound), c.expected) << c.name;
  }
}

TEST(SoundBody, FormatHelpers) {
  EXPECT_EQ(track::serialize::format_envelope("attack", Envelope{0.01f, false, false}), "attack 0.01 linear");
  EXPECT_EQ(track::serialize::format_envelope("release", Envelope{2.0f, true, true}), "release 2");
  EXPECT_EQ(track::serialize::format_modulation("vibrato", Modulation{"", 5, 0.2f}), "vibrato 5 0.2");
  EXPECT_EQ(track::serialize::format_modulation("tremolo", Modulation{"saw", 0.5f, 1}), "tremolo 0.5 1 saw");
}

}  // namespace
