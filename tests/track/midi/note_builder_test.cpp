// Note building: timing, pitch, volume and pitch bends inside a note.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tracksmith/track/midi/import.hpp"

using namespace tracksmith;

namespace {

using song::NoteSegment;
using track::midi::Bend;
using track::midi::build_note;

const std::optional<std::string> NO_NAME;

TEST(BuildNote, BendInsideNoteBecomesJumpAndHold) {
  const std::vector<Bend> bends{{720, 1.0f}};
  const song::Note note = build_note(0, 72, 100, 480, 960, 480.0f, 0, NO_NAME, bends, 0.0f);
  EXPECT_EQ(note.sound, "piano");
  EXPECT_EQ(note.start, 1.0f);
  EXPECT_EQ(note.pitch, 3.0f);
  EXPECT_EQ(note.volume, 0.79f);
  const std::vector<NoteSegment> segments{{1.0f, 0.0f, false, false}, {0.0f, 0.5f, true, true}};
  EXPECT_EQ(note.segments, segments);
  EXPECT_EQ(note.final_segment, (NoteSegment{0.0f, 0.5f, true, true}));
}

TEST(BuildNote, BendsOutsideTheHalfOpenRangeLeaveTheNotePlain) {
  const std::vector<std::vector<Bend>> plain_cases{
      {},
      {{0, 1.0f}, {479, -2.0f}},
      {{960, 1.0f}, {2000, 0.5f}},
      {{480, 0.0f}},  // a centred bend at the very start changes nothing
  };
  for (const auto& bends : plain_cases) {
    const song::Note note = build_note(0, 72, 100, 480, 960, 480.0f, 0, NO_NAME, bends, 0.0f);
    EXPECT_TRUE(note.segments.empty()) << bends.size();
    EXPECT_EQ(note.final_segment, (NoteSegment{0.0f, 1.0f, true, true})) << bends.size();
  }
}

TEST(BuildNote, BendAtStartJumpsAndLastBendHoldsToEnd) {
  const std::vector<Bend> bends{{480, -2.0f}, {720, 1.0f}, {960, 2.0f}};
  const song::Note note = build_note(0, 60, 127, 480, 960, 480.0f, 0, NO_NAME, bends, 0.0f);
  const std::vector<NoteSegment> segments{{-2.0f, 0.0f, false, false}, {3.0f, 0.5f, false, false}};
  EXPECT_EQ(note.segments, segments);
  EXPECT_EQ(note.final_segment, (NoteSegment{0.0f, 0.5f, true, true}));
}

TEST(BuildNote, ShortNoteKeepsRelativeBendPlacement) {
  // 10 ticks of 480 is raised to a sixteenth; the bend at half the ticks
  // lands at half of the raised length.
  const std::vector<Bend> bends{{105, 1.0f}};
  const song::Note note = build_note(0, 69, 64, 100, 110, 480.0f, 0, NO_NAME, bends, 0.0f);
  const std::vector<NoteSegment> segments{{1.0f, 0.0f, false, false}, {0.0f, 0.03125f, true, true}};
  EXPECT_EQ(note.segments, segments);
  EXPECT_EQ(note.final_segment, (NoteSegment{0.0f, 0.03125f, true, true}));
}

// Notes with more bends than a builder or writer keeps on the stack take
// the heap for their points: every bend still reaches the curve, in order,
// after the point where the wheel stood at the note-on.
TEST(BuildNote, EveryBendOfAManyBendNoteReachesItsCurve) {
  for (const std::size_t count : {std::size_t{14}, std::size_t{15}, std::size_t{16}, std::size_t{40}}) {
    for (const float wheel : {0.0f, -0.5f}) {
      std::vector<Bend> bends;
      for (std::size_t k = 1; k <= count; ++k) {
        bends.push_back({static_cast<std::uint32_t>(480 + 10 * k), static_cast<float>(k) / 4.0f});
      }
      const song::Note note = build_note(0, 60, 100, 480, 960, 480.0f, 0, NO_NAME, bends, wheel);
      // A centred wheel leaves the first bend's value to hold from the start.
      std::vector<song::WavePoint> expected;
      expected.push_back({0.0f, wheel != 0.0f ? wheel : bends.front().semitones, false, false});
      for (const Bend& bend : bends) {
        expected.push_back({static_cast<float>(bend.tick - 480) / 480.0f, bend.semitones, false, false});
      }
      expected.push_back({1.0f, bends.back().semitones, false, false});
      const std::vector<song::WavePoint> curve = note.pitch_curve();
      ASSERT_EQ(curve.size(), expected.size()) << count << " bends, wheel " << wheel;
      for (std::size_t k = 0; k < curve.size(); ++k) {
        EXPECT_FLOAT_EQ(curve[k].time, expected[k].time) << count << " bends, point " << k;
        EXPECT_EQ(curve[k].value, expected[k].value) << count << " bends, point " << k;
      }
    }
  }
}

TEST(BuildNote, LengthStartAndPitch) {
  struct Case {
    std::uint8_t channel, key;
    std::uint32_t start, end;
    float tpb;
    float start_beats, length, pitch;
  };
  const Case cases[] = {
      {0, 60, 0, 960, 480.0f, 0.0f, 2.0f, -9.0f},
      {0, 69, 480, 480, 480.0f, 1.0f, 0.0625f, 0.0f},   // zero length: a sixteenth
      {0, 0, 960, 480, 480.0f, 2.0f, 0.0625f, -69.0f},  // end before start counts as 0
      {0, 127, 0, 20, 480.0f, 0.0f, 0.0625f, 58.0f},
      {0, 70, 0, 240, 96.0f, 0.0f, 2.5f, 1.0f},
      {9, 38, 0, 1440, 480.0f, 0.0f, 0.25f, 0.0f},  // drums: fixed length, pitch 0
      {9, 38, 0, 0, 480.0f, 0.0f, 0.25f, 0.0f},
      // 2^24 + 1 ticks rounds to the nearest float.
      {0, 69, 16777217u, 16777217u, 1.0f, 16777216.0f, 0.0625f, 0.0f},
  };
  for (const Case& c : cases) {
    const song::Note note =
        build_note(c.channel, c.key, 100, c.start, c.end, c.tpb, 0, NO_NAME, {}, 0.0f);
    EXPECT_EQ(note.start, c.start_beats) << c.start << "-" << c.end;
    EXPECT_EQ(note.final_segment.duration, c.length) << c.start << "-" << c.end;
    EXPECT_EQ(note.pitch, c.pitch) << int(c.key);
    EXPECT_TRUE(note.segments.empty());
  }
}

TEST(BuildNote, NanLengthIsRaisedToASixteenth) {
  const song::Note note = build_note(0, 70, 100, 0, 0, 0.0f, 0, NO_NAME, {}, 0.0f);
  EXPECT_EQ(note.final_segment.duration, 0.0625f);
}

TEST(BuildNote, DrumNotesIgnoreBends) {
  const std::vector<Bend> bends{{0, 1.0f}, {480, -2.0f}};
  const song::Note note = build_note(9, 38, 90, 0, 1440, 480.0f, 0, NO_NAME, bends, 0.0f);
  EXPECT_EQ(note.sound, "snare");
  EXPECT_TRUE(note.segments.empty());
  EXPECT_EQ(note.final_segment, (NoteSegment{0.0f, 0.25f, true, true}));
}

TEST(BuildNote, VolumeHasTwoDecimals) {
  const std::pair<std::uint8_t, float> cases[] = {
      {127, 1.0f}, {100, 0.79f}, {64, 0.5f}, {1, 0.01f}, {0, 0.0f}, {90, 0.71f}, {32, 0.25f},
  };
  for (const auto& [velocity, volume] : cases) {
    EXPECT_EQ(build_note(0, 60, velocity, 0, 480, 480.0f, 0, NO_NAME, {}, 0.0f).volume, volume)
        << int(velocity);
  }
}

TEST(BuildNote, SoundUsesNameAndProgram) {
  EXPECT_EQ(build_note(0, 60, 100, 0, 480, 480.0f, 33, NO_NAME, {}, 0.0f).sound, "bass");
  EXPECT_EQ(build_note(0, 60, 100, 0, 480, 480.0f, 33, std::string("Pad"), {}, 0.0f).sound, "pad");
}

TEST(BuildNote, UntouchedFieldsKeepDefaults) {
  const song::Note note = build_note(0, 60, 100, 0, 480, 480.0f, 0, NO_NAME, {}, 0.0f);
  EXPECT_TRUE(note.volume_curve.empty());
  EXPECT_TRUE(note.text.empty());
  EXPECT_FALSE(note.text_apostrophe);
  EXPECT_TRUE(note.arpeggio.empty());
  EXPECT_EQ(note.arpeggio_rate, 0.0f);
  EXPECT_EQ(note.repeat, 0u);
  EXPECT_EQ(note.repeat_alt, 0u);
}

}  // namespace
