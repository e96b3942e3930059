// The hash-indexed motif scan against the plain greedy scan: identical
// motifs, names, placements and remaining notes on generated tracks full of
// repeats, transpositions and near misses, plus a few literal cases.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "testutil/random.hpp"
#include "testutil/motif_oracle.hpp"
#include "track/midi/detail/motif_scan.hpp"
#include "tracksmith/track/midi/import.hpp"

using namespace tracksmith;

namespace {

using song::Note;
using track::midi::MotifResult;
using track::midi::MotifTable;
namespace detail = track::midi::detail;


const char* const kSounds[] = {"piano", "bass", "kick", "snare"};
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();

Note random_note(testutil::SplitMix64& rng, bool drums) {
  Note note;
  note.sound = kSounds[drums ? 2 + rng.below(2) : rng.below(2)];
  note.start = 0.0f;
  note.pitch = drums ? 0.0f : static_cast<float>(static_cast<int>(rng.below(25)) - 12);
  note.volume = rng.chance(80) ? 0.5f : 0.75f;
  const float durations[] = {0.25f, 0.5f, 1.0f};
  note.final_segment = song::NoteSegment{rng.chance(50) ? 0.0f : -0.0f, durations[rng.below(3)],
                                         true, true};
  if (rng.chance(10)) {
    note.segments.push_back(song::NoteSegment{1.0f, 0.125f, false, false});
    note.final_segment.pitch_delta = -1.0f;
  }
  if (rng.chance(3)) note.volume_curve = {{0.0f, 1.0f, true, true}, {1.0f, 0.0f, false, true}};
  if (rng.chance(3)) note.text = rng.chance(50) ? "la" : "li";
  if (rng.chance(2)) note.text_apostrophe = true;
  if (rng.chance(3)) {
    note.arpeggio = {0.0f, 4.0f, 7.0f};
    note.arpeggio_rate = 0.25f;
  }
  if (rng.chance(2)) note.repeat = 2;
  if (rng.chance(2)) note.repeat_alt = 3;
  return note;
}

// One field changed a little: the kind of difference that must break a match.
void near_miss(testutil::SplitMix64& rng, Note& note) {
  switch (rng.below(9)) {
    case 0: note.volume = note.volume == 0.5f ? 0.51f : 0.5f; break;
    case 1: note.sound = note.sound == "piano" ? "bass" : "piano"; break;
    case 2: note.segments.push_back(song::NoteSegment{0.5f, 0.0f, true, true}); break;
    case 3: note.start = std::nextafter(note.start, 1e9f); break;
    case 4: note.pitch = std::nextafter(note.pitch, -1e9f); break;
    case 5: note.final_segment.ease_in = !note.final_segment.ease_in; break;
    case 6: note.repeat_alt += 1; break;
    case 7: note.text += "!"; break;
    default: note.arpeggio.push_back(12.0f); break;
  }
}

// A NaN in a field, or an infinite start or pitch (whose differences to
// another infinity are NaN).
void poison_with_nan(testutil::SplitMix64& rng, Note& note) {
  constexpr float kInfinity = std::numeric_limits<float>::infinity();
  switch (rng.below(8)) {
    case 0: note.start = kNan; break;
    case 1: note.pitch = kNan; break;
    case 6: note.start = rng.chance(50) ? kInfinity : -kInfinity; break;
    case 7: note.pitch = rng.chance(50) ? kInfinity : -kInfinity; break;
    case 2: note.volume = kNan; break;
    case 3: note.final_segment.duration = kNan; break;
    case 4: note.arpeggio = {kNan}; break;
    default: note.volume_curve = {{0.5f, kNan, true, true}}; break;
  }
}

// A track built from a few figures played again and again, transposed and
// shifted in time, most of one sound and some of several, with random notes, near misses, equal starts, signed
// zeros, NaNs and out-of-order notes mixed in.
std::vector<Note> random_track(testutil::SplitMix64& rng, std::size_t count) {
  std::vector<std::vector<Note>> figures(1 + rng.below(4));
  const bool drums = rng.chance(20);
  for (auto& figure : figures) {
    const std::size_t length = 2 + rng.below(rng.chance(30) ? 19 : 6);
    // Most figures are played by one sound; the others mix sounds and so
    // can never become motifs.
    const bool one_sound = rng.chance(75);
    const Note sound_model = random_note(rng, drums);
    float t = 0.0f;
    for (std::size_t k = 0; k < length; ++k) {
      Note note = random_note(rng, drums);
      if (one_sound) note.sound = sound_model.sound;
      note.start = t;
      figure.push_back(note);
      const float steps[] = {0.0f, 0.25f, 0.5f, 1.0f, 0.1f};
      t += steps[rng.below(rng.chance(30) ? 5 : 4)];
    }
  }
  std::vector<Note> notes;
  float time = rng.chance(20) ? -2.0f : 0.0f;
  while (notes.size() < count) {
    if (rng.chance(20)) {
      Note note = random_note(rng, drums);
      note.start = time;
      notes.push_back(note);
      time += 0.5f;
      continue;
    }
    const auto& figure = figures[rng.below(figures.size())];
    const float transpose = drums || rng.chance(50) ? 0.0f : static_cast<float>(rng.below(13)) - 6;
    const float tick = 0.1f;
    const float offset = rng.chance(20) ? time + tick : time;
    for (const Note& model : figure) {
      if (notes.size() == count) break;
      Note note = model;
      note.start = model.start + offset;
      note.pitch = model.pitch + transpose;
      if (rng.chance(4)) near_miss(rng, note);
      if (rng.chance(1)) poison_with_nan(rng, note);
      notes.push_back(note);
    }
    time = notes.back().start + 1.0f;
    if (!std::isfinite(time)) time = static_cast<float>(notes.size());
  }
  for (Note& note : notes) {
    // Signed zeros where the comparison must not tell them apart.
    if (note.start == 0.0f && rng.chance(50)) note.start = -0.0f;
    if (note.pitch == 0.0f && rng.chance(50)) note.pitch = -0.0f;
  }
  if (rng.chance(30)) {
    for (std::size_t k = 0; k + 1 < notes.size(); k += 1 + rng.below(20)) {
      std::swap(notes[k], notes[k + 1]);
    }
  }
  return notes;
}

std::uint32_t bits(float value) { return std::bit_cast<std::uint32_t>(value); }

bool same_segment(const song::NoteSegment& a, const song::NoteSegment& b) {
  return bits(a.pitch_delta) == bits(b.pitch_delta) && bits(a.duration) == bits(b.duration) &&
         a.ease_in == b.ease_in && a.ease_out == b.ease_out;
}

bool same_point(const song::WavePoint& a, const song::WavePoint& b) {
  return bits(a.time) == bits(b.time) && bits(a.value) == bits(b.value) &&
         a.ease_in == b.ease_in && a.ease_out == b.ease_out;
}

// Identity to the bit, so that NaNs and signed zeros count too.
bool same_note(const Note& a, const Note& b) {
  return a.sound == b.sound && bits(a.start) == bits(b.start) && bits(a.pitch) == bits(b.pitch) &&
         std::equal(a.segments.begin(), a.segments.end(), b.segments.begin(), b.segments.end(),
                    same_segment) &&
         same_segment(a.final_segment, b.final_segment) && bits(a.volume) == bits(b.volume) &&
         std::equal(a.volume_curve.begin(), a.volume_curve.end(), b.volume_curve.begin(),
                    b.volume_curve.end(), same_point) &&
         a.text == b.text && a.text_apostrophe == b.text_apostrophe &&
         std::equal(a.arpeggio.begin(), a.arpeggio.end(), b.arpeggio.begin(), b.arpeggio.end(),
                    [](float x, float y) { return bits(x) == bits(y); }) &&
         bits(a.arpeggio_rate) == bits(b.arpeggio_rate) && a.repeat == b.repeat &&
         a.repeat_alt == b.repeat_alt;
}

bool same_notes(const std::vector<Note>& a, const std::vector<Note>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), same_note);
}

bool same_instance(const song::MotifInstance& a, const song::MotifInstance& b) {
  return a.motif == b.motif && a.sound == b.sound && bits(a.start) == bits(b.start) &&
         bits(a.transpose) == bits(b.transpose) && a.overrides == b.overrides &&
         a.trim == b.trim && a.tuning == b.tuning;
}

struct Outcome {
  MotifResult result;
  MotifTable table;
};

// Compares the import's scan with the reference on one track; returns the
// number of motifs found, or -1 on any difference.
long compare_scans(const std::vector<Note>& notes, std::uint32_t track_number) {
  Outcome fast;
  Outcome plain;
  // A motif of another track that both must leave alone.
  fast.table["midi_track0_motif1"] = {Note{}};
  plain.table = fast.table;
  // One set of buffers for every track compared, as each import worker
  // keeps them: what one scan leaves in them must not change the next.
  static detail::MotifScratch scratch;
  fast.result = detail::extract_motifs(notes, track_number, fast.table, scratch);
  std::vector<Note> sorted = notes;
  detail::stable_sort_by_start(sorted);
  plain.result = testutil::scan_motifs_plain(std::move(sorted), track_number, plain.table);

  if (!same_notes(fast.result.notes, plain.result.notes)) return -1;
  if (!std::equal(fast.result.instances.begin(), fast.result.instances.end(),
                  plain.result.instances.begin(), plain.result.instances.end(), same_instance)) {
    return -1;
  }
  if (fast.table.size() != plain.table.size()) return -1;
  for (auto f = fast.table.begin(), p = plain.table.begin(); f != fast.table.end(); ++f, ++p) {
    if (f->first != p->first || !same_notes(f->second, p->second)) return -1;
  }
  return static_cast<long>(fast.table.size()) - 1;
}

TEST(IndexedMotifScan, AgreesWithPlainScanOnSmallTracks) {
  testutil::SplitMix64 rng(20240611);
  long motifs = 0;
  for (std::uint32_t track = 1; track <= 3000; ++track) {
    const std::size_t count = 8 + rng.below(rng.chance(20) ? 193 : 40);
    const auto notes = random_track(rng, count);
    const long found = compare_scans(notes, track);
    ASSERT_GE(found, 0) << "track " << track << " of " << count << " notes";
    motifs += found;
  }
  // The generator must actually produce repeats, or the comparison proves little.
  EXPECT_GT(motifs, 3000);
}

TEST(IndexedMotifScan, AgreesWithPlainScanOnLargeTracks) {
  testutil::SplitMix64 rng(77);
  long motifs = 0;
  for (std::uint32_t track = 1; track <= 4; ++track) {
    const auto notes = random_track(rng, 1500);
    const long found = compare_scans(notes, track);
    ASSERT_GE(found, 0) << "track " << track;
    motifs += found;
  }
  EXPECT_GT(motifs, 4);
}

TEST(IndexedMotifScan, AgreesOnTracksOfIdenticalNotes) {
  // Every window equals every other: the longest placements overlap heavily.
  for (std::size_t count : {8u, 9u, 31u, 32u, 33u, 47u, 200u}) {
    std::vector<Note> notes(count);
    for (std::size_t k = 0; k < count; ++k) {
      notes[k].sound = "kick";
      notes[k].start = static_cast<float>(k / 2);  // pairs of equal starts
    }
    EXPECT_GT(compare_scans(notes, 1), 0) << count;
  }
}

Note drum(float start, float pitch, const char* sound) {
  Note note;
  note.sound = sound;
  note.start = start;
  note.pitch = pitch;
  note.final_segment = song::NoteSegment{0.0f, 0.25f, true, true};
  return note;
}

TEST(IndexedMotifScan, SignedZerosMatchAndNanDoesNot) {
  // Four kicks, twice; in the repeat the pitches after the first are -0, so
  // relative to its first note (+0) they are -0 where the first occurrence
  // has +0. A -0 pitch change in a segment matches +0 as well.
  std::vector<Note> notes = {drum(0.0f, 0.0f, "kick"), drum(1, 0.0f, "kick"),
                             drum(2, 0.0f, "kick"),    drum(3, 0.0f, "kick"),
                             drum(4, 0.0f, "kick"),    drum(5, -0.0f, "kick"),
                             drum(6, -0.0f, "kick"),   drum(7, -0.0f, "kick")};
  notes[7].final_segment.pitch_delta = -0.0f;
  MotifTable table;
  auto result = track::midi::extract_motifs(notes, 9, table);
  ASSERT_EQ(result.instances.size(), 2u);
  EXPECT_EQ(result.instances[0].start, 0.0f);
  EXPECT_EQ(result.instances[1].start, 4.0f);
  EXPECT_EQ(result.instances[1].motif, "midi_track9_motif1");
  EXPECT_TRUE(result.notes.empty());

  // The same figure with a NaN volume in the repeat: no motif at all.
  notes[6].volume = kNan;
  table.clear();
  result = track::midi::extract_motifs(notes, 9, table);
  EXPECT_TRUE(result.instances.empty());
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(result.notes.size(), 8u);
}

TEST(IndexedMotifScan, OverlappingRepeatsAreTakenLeftToRight) {
  // Ten identical notes and a different one: length 5 comes first and takes
  // windows 0 and 5 (window 1 matches too but overlaps); the snare stays.
  std::vector<Note> notes;
  for (int k = 0; k < 10; ++k) notes.push_back(drum(static_cast<float>(k), 0.0f, "kick"));
  notes.push_back(drum(10, 0.0f, "snare"));
  MotifTable table;
  const auto result = track::midi::extract_motifs(notes, 2, table);
  ASSERT_EQ(result.instances.size(), 2u);
  EXPECT_EQ(result.instances[0].start, 0.0f);
  EXPECT_EQ(result.instances[1].start, 5.0f);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table.at("midi_track2_motif1").size(), 5u);
  ASSERT_EQ(result.notes.size(), 1u);
  EXPECT_EQ(result.notes[0].sound, "snare");
}

}  // namespace
