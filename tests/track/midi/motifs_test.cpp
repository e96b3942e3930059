// Motif extraction: window lengths, matching, naming, placements, sorting.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "testutil/motif_oracle.hpp"
#include "track/midi/detail/motif_scan.hpp"
#include "tracksmith/track/midi/import.hpp"

using namespace tracksmith;

namespace {

using song::Note;
using track::midi::extract_motifs;
using track::midi::MotifTable;

Note make_note(float start, float pitch, float volume = 0.5f, const char* sound = "piano") {
  Note note;
  note.sound = sound;
  note.start = start;
  note.pitch = pitch;
  note.volume = volume;
  note.final_segment = song::NoteSegment{0.0f, 0.5f, true, true};
  return note;
}

// A figure of `pitches` played at starts first, first + 1, ...
void add_figure(std::vector<Note>& notes, float first, const std::vector<float>& pitches,
                float transpose = 0.0f, float volume = 0.5f, const char* sound = "piano") {
  for (std::size_t k = 0; k < pitches.size(); ++k) {
    notes.push_back(make_note(first + static_cast<float>(k), pitches[k] + transpose, volume, sound));
  }
}

struct Placement {
  std::string motif;
  float start;
  float transpose;
};

void expect_placements(const std::vector<song::MotifInstance>& got,
                       const std::vector<Placement>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k) {
    EXPECT_EQ(got[k].motif, want[k].motif) << k;
    EXPECT_EQ(got[k].start, want[k].start) << k;
    EXPECT_EQ(got[k].transpose, want[k].transpose) << k;
    EXPECT_EQ(got[k].sound, "piano") << k;
    EXPECT_TRUE(got[k].overrides.empty());
    EXPECT_FALSE(got[k].trim.has_value());
    EXPECT_FALSE(got[k].tuning.has_value());
  }
}

TEST(ExtractMotifs, TransposedSecondHalf) {
  std::vector<Note> notes;
  add_figure(notes, 0, {0, 4, 7, 2});
  add_figure(notes, 4, {0, 4, 7, 2}, 12);
  MotifTable table;
  const auto result = extract_motifs(notes, 2, table);
  EXPECT_TRUE(result.notes.empty());
  expect_placements(result.instances, {{"midi_track2_motif1", 0, 0}, {"midi_track2_motif1", 4, 12}});
  ASSERT_EQ(table.size(), 1u);
  const auto& motif = table.at("midi_track2_motif1");
  ASSERT_EQ(motif.size(), 4u);
  const float pitches[] = {0, 4, 7, 2};
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(motif[k].sound, "");
    EXPECT_EQ(motif[k].start, static_cast<float>(k));
    EXPECT_EQ(motif[k].pitch, pitches[k]);
    EXPECT_EQ(motif[k].volume, 0.5f);
    EXPECT_EQ(motif[k].final_segment.duration, 0.5f);
  }
}

TEST(ExtractMotifs, MotifPitchesAreRelativeToTheFirstNote) {
  std::vector<Note> notes;
  add_figure(notes, 10, {-5, -1, 2, 0});
  add_figure(notes, 14, {-5, -1, 2, 0}, -3);
  MotifTable table;
  const auto result = extract_motifs(notes, 1, table);
  expect_placements(result.instances, {{"midi_track1_motif1", 10, 0}, {"midi_track1_motif1", 14, -3}});
  const auto& motif = table.at("midi_track1_motif1");
  ASSERT_EQ(motif.size(), 4u);
  EXPECT_EQ(motif[1].pitch, 4.0f);
  EXPECT_EQ(motif[3].start, 3.0f);
}

TEST(ExtractMotifs, ThreeOccurrencesLeftToRight) {
  std::vector<Note> notes;
  for (int rep = 0; rep < 3; ++rep) add_figure(notes, 4.0f * rep, {0, 2, 4, 5});
  add_figure(notes, 12, {9, 1});  // unrelated tail, kept as notes
  MotifTable table;
  const auto result = extract_motifs(notes, 3, table);
  expect_placements(result.instances, {{"midi_track3_motif1", 0, 0},
                                       {"midi_track3_motif1", 4, 0},
                                       {"midi_track3_motif1", 8, 0}});
  ASSERT_EQ(result.notes.size(), 2u);
  EXPECT_EQ(result.notes[0].pitch, 9.0f);
  EXPECT_EQ(result.notes[1].pitch, 1.0f);
}

TEST(ExtractMotifs, DifferencesOtherThanPositionPreventAMatch) {
  struct Case {
    const char* what;
    float volume;
    const char* sound;
    float gap;
  };
  const Case cases[] = {
      {"velocity", 0.8f, "piano", 0.0f},
      {"sound", 0.5f, "lead", 0.0f},
      {"rhythm", 0.5f, "piano", 0.5f},
  };
  for (const Case& c : cases) {
    std::vector<Note> notes;
    add_figure(notes, 0, {0, 3, 5, 7});
    add_figure(notes, 4, {0, 3, 5, 7}, 0, c.volume, c.sound);
    notes.back().start += c.gap;
    MotifTable table;
    const auto result = extract_motifs(notes, 1, table);
    EXPECT_TRUE(result.instances.empty()) << c.what;
    EXPECT_TRUE(table.empty()) << c.what;
    EXPECT_EQ(result.notes.size(), 8u) << c.what;
  }
}

// A motif's notes are all played by its placement's one sound, so a figure
// that mixes sounds stays in the layer, every note with its own sound; a
// figure of one sound inside a track of several still becomes a motif, with
// that sound on its placements. Both scans agree on it.
TEST(ExtractMotifs, OnlyFiguresOfOneSoundBecomeMotifs) {
  struct Hit {
    float start;
    float pitch;
    const char* sound;
  };
  struct Case {
    const char* what;
    std::vector<Hit> hits;
    std::size_t motif_notes;  // 0: no motif at all
    std::vector<float> placement_starts;
    const char* placement_sound;
    std::vector<std::string> sounds_left;  // sounds of the notes left, in order
  };
  const Case cases[] = {
      {"drum pattern of three sounds, twice",
       {{0, 0, "kick"}, {0.5, 0, "hihat"}, {1, 0, "snare"}, {1.5, 0, "hihat"},
        {2, 0, "kick"}, {2.5, 0, "hihat"}, {3, 0, "snare"}, {3.5, 0, "hihat"}},
       0, {}, "",
       {"kick", "hihat", "snare", "hihat", "kick", "hihat", "snare", "hihat"}},
      {"hi-hat pattern, twice",
       {{0, 0, "hihat"}, {0.5, 0, "hihat"}, {0.75, 0, "hihat"}, {1.5, 0, "hihat"},
        {2, 0, "hihat"}, {2.5, 0, "hihat"}, {2.75, 0, "hihat"}, {3.5, 0, "hihat"}},
       4, {0, 2}, "hihat", {}},
      // Five-note windows hold the bass note and are passed over; the four
      // piano notes before it repeat, and the bass notes stay.
      {"piano figure with a bass note after it, twice",
       {{0, 0, "piano"}, {1, 4, "piano"}, {2, 7, "piano"}, {3, 4, "piano"}, {4, -24, "bass"},
        {5, 0, "piano"}, {6, 4, "piano"}, {7, 7, "piano"}, {8, 4, "piano"}, {9, -24, "bass"}},
       4, {0, 5}, "piano", {"bass", "bass"}},
  };
  for (const Case& c : cases) {
    std::vector<Note> notes;
    for (const Hit& hit : c.hits) notes.push_back(make_note(hit.start, hit.pitch, 0.5f, hit.sound));
    MotifTable table;
    const auto result = extract_motifs(notes, 10, table);
    if (c.motif_notes == 0) {
      EXPECT_TRUE(table.empty()) << c.what;
    } else {
      ASSERT_EQ(table.size(), 1u) << c.what;
      EXPECT_EQ(table.at("midi_track10_motif1").size(), c.motif_notes) << c.what;
    }
    ASSERT_EQ(result.instances.size(), c.placement_starts.size()) << c.what;
    for (std::size_t k = 0; k < c.placement_starts.size(); ++k) {
      EXPECT_EQ(result.instances[k].start, c.placement_starts[k]) << c.what;
      EXPECT_EQ(result.instances[k].sound, c.placement_sound) << c.what;
    }
    std::vector<std::string> left;
    for (const Note& note : result.notes) left.push_back(note.sound.str());
    EXPECT_EQ(left, c.sounds_left) << c.what;

    MotifTable plain_table;
    const auto plain = testutil::scan_motifs_plain(notes, 10, plain_table);
    EXPECT_EQ(plain.instances.size(), result.instances.size()) << c.what;
    EXPECT_EQ(plain.notes.size(), result.notes.size()) << c.what;
    EXPECT_EQ(plain_table.size(), table.size()) << c.what;
  }
}

TEST(ExtractMotifs, NanStartNeverMatches) {
  std::vector<Note> notes;
  add_figure(notes, 0, {0, 3, 5, 7});
  add_figure(notes, 4, {0, 3, 5, 7});
  notes[2].start = std::numeric_limits<float>::quiet_NaN();
  notes[6].start = std::numeric_limits<float>::quiet_NaN();
  MotifTable table;
  EXPECT_TRUE(extract_motifs(notes, 1, table).instances.empty());
}

TEST(ExtractMotifs, LongFigureIsFoundBeforeShorterOnes) {
  std::vector<Note> notes;
  const std::vector<float> figure{0, 1, 2, 3, 0, 1, 2, 3, 7, 8, 9, 10, 7, 8, 9, 11};
  add_figure(notes, 0, figure);
  add_figure(notes, 16, figure, 5);
  MotifTable table;
  const auto result = extract_motifs(notes, 4, table);
  expect_placements(result.instances, {{"midi_track4_motif1", 0, 0}, {"midi_track4_motif1", 16, 5}});
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table.at("midi_track4_motif1").size(), 16u);
  EXPECT_TRUE(result.notes.empty());
}

TEST(ExtractMotifs, MotifsAreNumberedInTheOrderFound) {
  std::vector<Note> notes;
  // Figure A twice (4 notes), then figure B twice (5 notes): B is longer and
  // is found first although it comes later.
  add_figure(notes, 0, {0, 1, 2, 3});
  add_figure(notes, 4, {0, 1, 2, 3});
  add_figure(notes, 8, {0, 5, 3, 4, 8}, 0, 0.7f);
  add_figure(notes, 13, {0, 5, 3, 4, 8}, 2, 0.7f);
  MotifTable table;
  const auto result = extract_motifs(notes, 5, table);
  expect_placements(result.instances, {{"midi_track5_motif2", 0, 0},
                                       {"midi_track5_motif2", 4, 0},
                                       {"midi_track5_motif1", 8, 0},
                                       {"midi_track5_motif1", 13, 2}});
  EXPECT_EQ(table.at("midi_track5_motif1").size(), 5u);
  EXPECT_EQ(table.at("midi_track5_motif2").size(), 4u);
}

TEST(ExtractMotifs, NotesAreSortedByStartFirst) {
  // Finished out of start order; sorted they form a figure and its repeat.
  std::vector<Note> notes;
  add_figure(notes, 4, {0, 4, 7, 2});
  add_figure(notes, 0, {0, 4, 7, 2});
  notes.push_back(make_note(8, 30));
  notes.push_back(make_note(-1, 31));
  MotifTable table;
  const auto result = extract_motifs(notes, 1, table);
  expect_placements(result.instances, {{"midi_track1_motif1", 0, 0}, {"midi_track1_motif1", 4, 0}});
  ASSERT_EQ(result.notes.size(), 2u);
  EXPECT_EQ(result.notes[0].pitch, 31.0f);
  EXPECT_EQ(result.notes[1].pitch, 30.0f);
}

TEST(ExtractMotifs, ExistingTableEntriesOfOtherTracksStay) {
  MotifTable table;
  table["midi_track1_motif1"] = {make_note(0, 0)};
  std::vector<Note> notes;
  add_figure(notes, 0, {0, 1, 2, 3});
  add_figure(notes, 4, {0, 1, 2, 3});
  (void)extract_motifs(notes, 2, table);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table.at("midi_track1_motif1").size(), 1u);
}

TEST(TotalOrder, SortsNegativesZerosAndNan) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<Note> notes;
  const float starts[] = {nan, 1.0f, 0.0f, -0.0f, -1.0f, inf, -inf, 0.0f};
  for (std::size_t k = 0; k < 8; ++k) notes.push_back(make_note(starts[k], static_cast<float>(k)));
  track::midi::detail::stable_sort_by_start(notes);
  // -inf, -1, -0, +0 (first), +0 (second), 1, inf, NaN
  const float order[] = {6, 4, 3, 2, 7, 1, 5, 0};
  for (std::size_t k = 0; k < 8; ++k) EXPECT_EQ(notes[k].pitch, order[k]) << k;
  EXPECT_TRUE(std::isnan(notes[7].start));
}

}  // namespace
