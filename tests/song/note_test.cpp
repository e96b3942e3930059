#include "tracksmith/song/note/note.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <span>
#include <utility>
#include <vector>

using namespace tracksmith;

namespace {

using song::Note;
using song::NoteSegment;
using song::WavePoint;

// Field-by-field comparison that also tells -0 from +0 and matches NaN with NaN.
bool same(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

void expect_segments(std::span<const NoteSegment> actual, const std::vector<NoteSegment>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    EXPECT_TRUE(same(actual[i].pitch_delta, expected[i].pitch_delta)) << "segment " << i;
    EXPECT_TRUE(same(actual[i].duration, expected[i].duration)) << "segment " << i;
    EXPECT_EQ(actual[i].ease_in, expected[i].ease_in) << "segment " << i;
    EXPECT_EQ(actual[i].ease_out, expected[i].ease_out) << "segment " << i;
  }
}

void expect_points(const std::vector<WavePoint>& actual, const std::vector<WavePoint>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    EXPECT_TRUE(same(actual[i].time, expected[i].time)) << "point " << i << ": " << actual[i].time;
    EXPECT_TRUE(same(actual[i].value, expected[i].value)) << "point " << i << ": " << actual[i].value;
    EXPECT_EQ(actual[i].ease_in, expected[i].ease_in) << "point " << i;
    EXPECT_EQ(actual[i].ease_out, expected[i].ease_out) << "point " << i;
  }
}

Note note_with(std::vector<NoteSegment> segments, NoteSegment final_segment) {
  Note note;
  note.segments = std::move(segments);
  note.final_segment = final_segment;
  return note;
}

TEST(Note, DefaultHoldsTheDefaults) {
  const Note note;
  EXPECT_EQ(note.sound, "");
  EXPECT_EQ(note.volume, 1.0f);
  EXPECT_TRUE(note.segments.empty());
  expect_segments(std::vector<NoteSegment>{note.final_segment}, {{0.0f, 0.0f, true, true}});
  EXPECT_TRUE(note.volume_curve.empty());
  EXPECT_EQ(note.text, "");
  EXPECT_FALSE(note.text_apostrophe);
  EXPECT_TRUE(note.arpeggio.empty());
  EXPECT_EQ(note.arpeggio_rate, 0.0f);
  EXPECT_EQ(note.repeat, 0u);
  EXPECT_EQ(note.repeat_alt, 0u);
}

TEST(Note, LengthSumsSegmentsThenAddsTheFinalDuration) {
  EXPECT_EQ(note_with({{1.0f, 0.0f, false, false}, {0.0f, 0.5f, true, true}}, {0.0f, 0.5f, true, true}).length(),
            1.0f);
  // Without segments the length is the final duration itself, -0 included.
  EXPECT_TRUE(same(note_with({}, {0.0f, -0.0f, true, true}).length(), -0.0f));
  EXPECT_TRUE(same(note_with({}, {0.0f, 0.0f, true, true}).length(), 0.0f));
  // Order matters in float arithmetic: (2^24 + 1) + 1 loses both ones, while
  // the segments summed first (1 + 1 = 2) survive the addition to 2^24.
  EXPECT_EQ(
      note_with({{0.0f, 1.0f, true, true}, {0.0f, 1.0f, true, true}}, {0.0f, 16777216.0f, true, true}).length(),
      16777218.0f);
}

TEST(Note, EqualityComparesEveryField) {
  Note a;
  a.sound = "piano";
  a.start = 1.5f;
  a.segments = {{2.0f, 0.0f, false, false}};
  a.volume_curve = {{0.0f, 1.0f, true, false}};
  a.arpeggio = {0.0f, 4.0f};
  Note b = a;
  EXPECT_EQ(a, b);

  b.start = -0.0f;
  a.start = 0.0f;
  EXPECT_EQ(a, b);  // -0 equals +0

  Note c = a;
  c.volume_curve[0].ease_out = true;
  EXPECT_NE(a, c);
  c = a;
  c.segments[0].ease_in = true;
  EXPECT_NE(a, c);
  c = a;
  c.arpeggio.push_back(7.0f);
  EXPECT_NE(a, c);
  c = a;
  c.text_apostrophe = true;
  EXPECT_NE(a, c);
  c = a;
  c.repeat_alt = 2;
  EXPECT_NE(a, c);

  Note with_nan = a;
  with_nan.pitch = std::numeric_limits<float>::quiet_NaN();
  const Note copy = with_nan;
  EXPECT_NE(with_nan, copy);  // NaN never equals anything, itself included
}

TEST(PitchCurve, NoMovementGivesNoCurve) {
  EXPECT_TRUE(note_with({}, {0.0f, 2.0f, true, true}).pitch_curve().empty());
  EXPECT_TRUE(note_with({}, {0.0f, 2.0f, false, false}).pitch_curve().empty());
  EXPECT_TRUE(note_with({}, {-0.0f, 2.0f, false, true}).pitch_curve().empty());
  // NaN is not zero: it is a movement.
  EXPECT_EQ(note_with({}, {std::numeric_limits<float>::quiet_NaN(), 2.0f, true, true}).pitch_curve().size(), 2u);
}

TEST(PitchCurve, Cases) {
  struct Case {
    const char* name;
    Note note;
    std::vector<WavePoint> expected;
  };
  const Case cases[] = {
      {"single glide", note_with({}, {1.0f, 2.0f, true, true}), {{0.0f, 0.0f, true, true}, {1.0f, 1.0f, false, false}}},
      {"linear glide", note_with({}, {3.0f, 1.0f, false, false}),
       {{0.0f, 0.0f, false, false}, {1.0f, 3.0f, false, false}}},
      {"initial jump drops the point before it",
       note_with({{2.0f, 0.0f, false, false}, {0.0f, 1.0f, true, true}}, {0.0f, 1.0f, true, true}),
       {{0.0f, 2.0f, true, true}, {0.5f, 2.0f, true, true}, {1.0f, 2.0f, false, false}}},
      {"hold then bend",
       note_with({{0.0f, 1.0f, true, true}, {-2.0f, 2.0f, false, true}}, {0.5f, 1.0f, true, false}),
       {{0.0f, 0.0f, true, true},
        {0.25f, 0.0f, false, true},
        {0.75f, -2.0f, true, false},
        {1.0f, -1.5f, false, false}}},
      {"zero total puts every point at 0",
       note_with({{1.0f, 0.0f, false, false}}, {2.0f, 0.0f, true, true}),
       {{0.0f, 1.0f, true, true}, {0.0f, 3.0f, false, false}}},
      {"negative total puts every point at 0", note_with({}, {1.0f, -1.0f, true, false}),
       {{0.0f, 1.0f, false, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    expect_points(c.note.pitch_curve(), c.expected);
  }
}

TEST(TrajectoryFromCurve, Cases) {
  struct Case {
    const char* name;
    std::vector<WavePoint> points;
    float length;
    std::vector<NoteSegment> segments;
    NoteSegment final_segment;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {
      {"no points", {}, 2.0f, {}, {0.0f, 2.0f, true, true}},
      {"no points, zero length", {}, 0.0f, {}, {0.0f, 0.0f, true, true}},
      {"glide over the whole note", {{0.0f, 0.0f, false, false}, {1.0f, 3.0f, false, false}}, 1.0f, {},
       {3.0f, 1.0f, false, false}},
      {"one point in the middle", {{0.5f, 2.0f, false, false}}, 2.0f,
       {{2.0f, 0.0f, false, false}, {0.0f, 1.0f, true, true}}, {0.0f, 1.0f, true, true}},
      {"stretches take the flags of their first point",
       {{0.0f, 1.0f, true, false}, {0.25f, 3.0f, false, true}, {0.5f, 0.0f, false, false}}, 4.0f,
       {{1.0f, 0.0f, false, false}, {2.0f, 1.0f, true, false}, {-3.0f, 1.0f, false, true}},
       {0.0f, 2.0f, true, true}},
      {"NaN value jumps", {{0.0f, nan, false, false}}, 1.0f, {{nan, 0.0f, false, false}},
       {0.0f, 1.0f, true, true}},
      {"NaN length appends no hold", {{0.0f, 0.0f, false, false}, {1.0f, 1.0f, false, false}}, nan, {},
       {1.0f, nan, false, false}},
      {"point past the end", {{0.0f, 0.0f, false, false}, {1.5f, 1.0f, false, false}}, 2.0f, {},
       {1.0f, 3.0f, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const song::Trajectory trajectory = song::trajectory_from_curve(c.points, c.length);
    expect_segments(trajectory.segments, c.segments);
    expect_segments(std::vector<NoteSegment>{trajectory.final_segment}, {c.final_segment});
  }
}

TEST(TrajectoryFromCurve, GlideRoundTripsThroughPitchCurve) {
  Note note;
  const song::Trajectory trajectory =
      song::trajectory_from_curve({{0.0f, 0.0f, false, false}, {1.0f, 3.0f, false, false}}, 1.0f);
  note.segments = trajectory.segments;
  note.final_segment = trajectory.final_segment;
  expect_points(note.pitch_curve(), {{0.0f, 0.0f, false, false}, {1.0f, 3.0f, false, false}});
}

}  // namespace

namespace {

// Under the total order -0 comes before +0 and NaN after +inf, so a list is
// only "in order" when no sort would move a note.
TEST(StartOrder, InOrderExactlyWhenASortWouldMoveNothing) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* name;
    std::vector<float> starts;
    bool in_order;
  };
  const Case cases[] = {
      {"empty", {}, true},
      {"one", {3.0f}, true},
      {"rising with equal starts", {0.0f, 0.5f, 0.5f, 2.0f}, true},
      {"one step back", {0.0f, 1.0f, 0.75f}, false},
      {"-0 before +0", {-0.0f, 0.0f}, true},
      {"+0 before -0", {0.0f, -0.0f}, false},
      {"NaN after +inf", {-inf, inf, nan}, true},
      {"NaN before a number", {nan, 1.0f}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Note> notes(c.starts.size());
    for (std::size_t i = 0; i < notes.size(); ++i) notes[i].start = c.starts[i];
    EXPECT_EQ(song::starts_in_order(notes), c.in_order);
    const std::vector<std::uint32_t> order = song::order_by_start(notes);
    bool identity = true;
    for (std::size_t i = 0; i < order.size(); ++i) identity = identity && order[i] == i;
    EXPECT_EQ(identity, c.in_order);
  }
}

}  // namespace
