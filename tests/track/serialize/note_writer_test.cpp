// Note lines, note options, curve points and note override lines.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tracksmith/track/serialize/text.hpp"
#include "tracksmith/track/serialize/number_text.hpp"
#include "tracksmith/track/serialize/writers.hpp"

using namespace tracksmith;

namespace {

using song::Note;
using song::NoteOverride;
using song::NoteSegment;
using song::WavePoint;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

Note plain(std::string sound, float start, float pitch, float length) {
  Note note;
  note.sound = std::move(sound);
  note.start = start;
  note.pitch = pitch;
  note.final_segment = NoteSegment{0.0f, length, true, true};
  return note;
}

TEST(NoteLine, VolumeIsWrittenOnlyBeyondTheToleranceAroundOne) {
  struct Case {
    float volume;
    const char* expected;
  };
  const Case cases[] = {
      {0.79f, "piano 1 3 1 volume 0.79"},
      {1.0f, "piano 1 3 1"},
      {0.99999994f, "piano 1 3 1"},  // 1 - 2^-24
      {1.0000001f, "piano 1 3 1"},   // 1 + 2^-23: exactly the tolerance, not beyond
      {1.0000002f, "piano 1 3 1 volume 1.0000002"},
      {0.9999999f, "piano 1 3 1"},   // 1 - 2^-23
      {0.9999998f, "piano 1 3 1 volume 0.9999998"},
      {kNaN, "piano 1 3 1"},
      {-0.0f, "piano 1 3 1 volume 0"},
      {2.0f, "piano 1 3 1 volume 2"},
  };
  for (const auto& c : cases) {
    Note note = plain("piano", 1.0f, 3.0f, 1.0f);
    note.volume = c.volume;
    EXPECT_EQ(track::serialize::format_note(note), c.expected) << "volume " << c.volume;
  }
}

// Plain notes (no options but a volume) are assembled in a buffer of their
// own; extreme numbers and the longest sounds must come out as in any line,
// and a layer's memo of repeated values must not change a byte.
TEST(NoteLine, PlainNotesWithExtremeValuesAndLongSounds) {
  const float inf = std::numeric_limits<float>::infinity();
  const std::string sound64(64, 's');
  const std::string sound65(65, 'x');
  struct Case {
    Note note;
    float volume;
    std::string expected;
  };
  const Case cases[] = {
      {plain("piano", 1e30f, kNaN, -inf), 3.4028235e38f,
       "piano 9223372036854775807 NaN -inf volume 9223372036854775807"},
      {plain("piano", -1e30f, -2147483648.0f, 1e-45f), -0.5f,
       "piano -9223372036854775808 -2147483648 0.000000000000000000000000000000000000000000001 volume -0.5"},
      {plain("piano", 16777217.0f, 0.1f, 1234567.9f), 0.58267716f, "piano 16777216 0.1 1234567.9 volume 0.5826772"},
      {plain(sound64, 0.0009765625f, 0.0f, 0.33333334f), 1.0f, sound64 + " 0.0009765625 0 0.33333334"},
      {plain(sound65, 2.5f, -1.0f, 0.25f), 0.5f, sound65 + " 2.5 -1 0.25 volume 0.5"},
  };
  track::serialize::NumberTextMemo memo;
  for (const Case& c : cases) {
    Note note = c.note;
    note.volume = c.volume;
    EXPECT_EQ(track::serialize::format_note(note), c.expected);
    for (int round = 0; round < 2; ++round) {
      std::string line;
      track::serialize::append_note_line(line, note, &memo);
      EXPECT_EQ(line, c.expected) << "through the memo, round " << round;
    }
  }
}

TEST(NoteLine, MotifNoteHasNoSoundAndNumbersUseNumberText) {
  EXPECT_EQ(track::serialize::format_motif_note(plain("", 0.5f, -2.0f, 0.25f)), "0.5 -2 0.25");
  EXPECT_EQ(track::serialize::format_note(plain("kick", 8.0f, -0.0f, 0.125f)), "kick 8 0 0.125");
  EXPECT_EQ(track::serialize::format_note(plain("", 0.0f, 0.0f, 1.0f)), " 0 0 1");
}

TEST(NoteLine, LengthSumsAllSegments) {
  Note note = plain("bass", 0.0f, 0.0f, 0.5f);
  note.segments = {{0.0f, 0.0f, true, true}, {0.0f, 0.5f, true, true}};
  note.final_segment.pitch_delta = 0.0f;
  // Segments without pitch change still form a (flat) curve line.
  EXPECT_EQ(track::serialize::format_note(note), "bass 0 0 1\n  pitch 0 0, 0.5 0, 1 0 linear");
}

TEST(NoteLine, GlideFromTheFinalSegmentCarriesTheFirstPointEasing) {
  struct Case {
    bool ease_in, ease_out;
    const char* expected;
  };
  const Case cases[] = {
      {true, true, "piano 0 0 4 glide 2"},
      {false, false, "piano 0 0 4 glide 2 linear"},
      {true, false, "piano 0 0 4 glide 2 ease-in"},
      {false, true, "piano 0 0 4 glide 2 ease-out"},
  };
  for (const auto& c : cases) {
    Note note = plain("piano", 0.0f, 0.0f, 4.0f);
    note.final_segment = NoteSegment{2.0f, 4.0f, c.ease_in, c.ease_out};
    EXPECT_EQ(track::serialize::format_note(note), c.expected);
  }
}

TEST(NoteLine, BendPointWritesAContinuationLine) {
  Note note = plain("piano", 0.0f, 0.0f, 1.0f);
  note.segments = {{2.0f, 0.0f, false, false}, {0.0f, 1.0f, true, true}};
  note.final_segment = NoteSegment{0.0f, 1.0f, true, true};
  note.volume = 0.5f;
  EXPECT_EQ(track::serialize::format_note(note), "piano 0 0 2 volume 0.5\n  pitch 0 2, 0.5 2, 1 2 linear");
}

TEST(NoteLine, TextAndRepeatOptions) {
  struct Case {
    const char* text;
    bool apostrophe;
    std::uint32_t repeat, repeat_alt;
    const char* expected;
  };
  const Case cases[] = {
      {"", true, 0, 0, "v 0 0 1 \"'\""},
      {"", false, 0, 0, "v 0 0 1"},
      {"la la", false, 0, 0, "v 0 0 1 \"la la\""},
      {"la", true, 0, 0, "v 0 0 1 \"'la\""},
      {"say \"hi\"", false, 0, 0, "v 0 0 1 \"say \"hi\"\""},
      {"", false, 1, 0, "v 0 0 1"},
      {"", false, 0, 4, "v 0 0 1 repeat 4"},
      {"", false, 3, 5, "v 0 0 1 repeat 5"},
      {"", false, 2, 1, "v 0 0 1 repeat 2"},
      {"", false, 4294967295u, 0, "v 0 0 1 repeat 4294967295"},
  };
  for (const auto& c : cases) {
    Note note = plain("v", 0.0f, 0.0f, 1.0f);
    note.text = c.text;
    note.text_apostrophe = c.apostrophe;
    note.repeat = c.repeat;
    note.repeat_alt = c.repeat_alt;
    EXPECT_EQ(track::serialize::format_note(note), c.expected);
  }
}

TEST(NoteLine, OptionsComeInTheirFixedOrder) {
  Note note = plain("lead", 2.0f, -9.0f, 1.0f);
  note.final_segment = NoteSegment{2.0f, 1.0f, true, true};
  note.text = "hi";
  note.volume = 0.5f;
  note.volume_curve = {{0.0f, 1.0f, false, false}, {1.0f, 0.0f, false, false}};
  note.arpeggio = {0.0f, 7.0f, 12.5f};
  note.arpeggio_rate = 4.0f;
  note.repeat = 2;
  EXPECT_EQ(track::serialize::format_note(note),
            "lead 2 -9 1 \"hi\" glide 2 volume 0.5 vol-ramp 0 linear arpeggio 0 7 12.5 rate 4 "
            "repeat 2");

  // With curve lines the repeat option ends the last continuation line.
  Note curved = plain("lead", 0.0f, 0.0f, 2.0f);
  curved.segments = {{2.0f, 0.0f, false, false}, {0.0f, 1.0f, true, true}};
  curved.final_segment = NoteSegment{0.0f, 1.0f, true, true};
  curved.volume_curve = {{0.0f, 1.0f, true, true}, {0.5f, 0.25f, false, false},
                         {1.0f, 1.0f, false, false}};
  curved.repeat_alt = 3;
  EXPECT_EQ(track::serialize::format_note(curved),
            "lead 0 0 2\n  pitch 0 2, 0.5 2, 1 2 linear\n  volume 0 1, 0.5 0.25 linear, 1 1 "
            "linear repeat 3");
}

// append_note_options on hand-made curves: the two-point forms at their
// boundaries decide between an option, a curve line and nothing.
TEST(NoteOptions, TwoPointCurveBoundaries) {
  struct Case {
    const char* name;
    std::vector<WavePoint> pitch;
    std::vector<WavePoint> volume;
    const char* expected;
  };
  const Case cases[] = {
      {"flat pitch ramp", {{0, 0, true, true}, {1, 0, false, false}}, {}, ""},
      {"NaN glide", {{0, 0, true, true}, {1, kNaN, false, false}}, {}, " glide NaN"},
      {"end just below 1",
       {{0, 0, true, true}, {0.99999994f, 3, false, false}},
       {},
       " glide 3"},
      {"end at 1 + 2^-23",
       {{0, 0, true, true}, {1.0000001f, 3, false, false}},
       {},
       "\n  pitch 0 0, 1.0000001 3 linear"},
      {"start off zero", {{0.5f, 0, true, true}, {1, 3, true, true}}, {}, "\n  pitch 0.5 0, 1 3"},
      {"start value -0", {{0, -0.0f, false, false}, {1, 1, false, false}}, {}, " glide 1 linear"},
      {"three points",
       {{0, 0, true, true}, {0.5f, 1, true, true}, {1, 0, false, false}},
       {},
       "\n  pitch 0 0, 0.5 1, 1 0 linear"},
      {"flat volume ramp", {}, {{0, 1, true, true}, {1, 1, true, true}}, ""},
      {"volume ramp", {}, {{0, 1, false, true}, {1, 0.5f, true, true}}, " vol-ramp 0.5 ease-out"},
      {"NaN volume ramp", {}, {{0, 1, true, true}, {1, kNaN, true, true}}, " vol-ramp NaN"},
      {"volume from 0.5", {}, {{0, 0.5f, true, true}, {1, 1, true, true}}, "\n  volume 0 0.5, 1 1"},
      {"single volume point", {}, {{0.25f, 2, true, false}}, "\n  volume 0.25 2 ease-in"},
  };
  for (const auto& c : cases) {
    std::string text = "x";
    track::serialize::append_note_options(text, c.pitch, c.volume, "", 1.0f, false, {}, 0.0f, 0);
    EXPECT_EQ(text, std::string("x") + c.expected) << c.name;
  }
}

TEST(CurvePoints, JoinedWithCommaAndEasing) {
  EXPECT_EQ(track::serialize::format_curve_points({}), "");
  EXPECT_EQ(track::serialize::format_curve_points({{0, 0, true, true}}), "0 0");
  EXPECT_EQ(track::serialize::format_curve_points({{0, -0.0f, false, false},
                                        {0.5f, 1.5f, true, false},
                                        {1, -2, false, true}}),
            "0 0 linear, 0.5 1.5 ease-in, 1 -2 ease-out");
}

TEST(OverrideLine, PresentValuesInFixedOrder) {
  struct Case {
    NoteOverride override_;
    const char* expected;
  };
  NoteOverride skipped;
  skipped.note = 3;
  skipped.skip = true;
  skipped.start = 2.0f;
  skipped.volume = 0.5f;

  NoteOverride full;
  full.note = 1;
  full.pitch = 2.0f;
  full.start = 0.5f;
  full.duration = 1.0f;
  full.glide = -3.0f;
  full.volume = 0.25f;
  full.text = "a b";
  full.pitch_curve = std::vector<WavePoint>{{0, 0, false, false}, {1, 2, true, true}};

  NoteOverride empty_curve;
  empty_curve.pitch_curve = std::vector<WavePoint>{};

  NoteOverride empty_text;
  empty_text.note = 18446744073709551615u;
  empty_text.text = "";
  empty_text.pitch = -0.0f;

  const Case cases[] = {
      {NoteOverride{}, "note 0"},
      {skipped, "note 3 skip start 2 volume 0.5"},
      {full,
       "note 1 pitch 2 start 0.5 duration 1 glide -3 volume 0.25 text \"a b\" pitch-curve 0 0 "
       "linear, 1 2"},
      {empty_curve, "note 0 pitch-curve "},
      {empty_text, "note 18446744073709551615 pitch 0 text \"\""},
  };
  for (const auto& c : cases) EXPECT_EQ(track::serialize::format_note_override(c.override_), c.expected);
}

}  // namespace
