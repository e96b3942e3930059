// Reverb, motif, snapshot and subtitle bodies.

#include <gtest/gtest.h>

#include <string>

#include "tracksmith/track/multisong/track_sections.hpp"
#include "tracksmith/track/serialize/writers.hpp"

using namespace tracksmith;

namespace {

TEST(ReverbBody, FourLinesInShortestText) {
  std::string out;
  track::multisong::serialize_reverb(track::multisong::ReverbPreset{0.8f, 2.0f, 0.25f, 0.0f}, out);
  EXPECT_EQ(out, "room_size 0.8\ndecay 2\nmix 0.25\npredelay 0\n");
  out.clear();
  track::multisong::serialize_reverb(track::multisong::ReverbPreset{-0.0f, 0.5f, 1.0f, -0.0f}, out);
  EXPECT_EQ(out, "room_size -0\ndecay 0.5\nmix 1\npredelay -0\n");
}

TEST(SnapshotBody, NamesInByteOrder) {
  track::multisong::Snapshot snapshot;
  snapshot.values["music"] = 0.5f;
  snapshot.values["amb"] = -0.0f;
  snapshot.values["Voice"] = 1.0f;
  std::string out;
  track::multisong::serialize_snapshot(snapshot, out);
  EXPECT_EQ(out, "Voice 1\namb -0\nmusic 0.5\n");
}

TEST(SubtitleLine, TimeAndOptionalText) {
  struct Case {
    song::Subtitle subtitle;
    const char* expected;
  };
  const Case cases[] = {
      {{"Hello", 12.0f}, "12 Hello\n"},
      {{"", 12.0f}, "12\n"},
      {{"", 1.5f}, "1.5\n"},
      {{"", -0.0f}, "0\n"},
      {{" two  spaces", 3.0f}, "3  two  spaces\n"},
  };
  for (const auto& c : cases) {
    std::string out = "x\n";
    track::serialize::write_subtitle_line(out, c.subtitle);
    EXPECT_EQ(out, std::string("x\n") + c.expected);
  }
  track::multisong::SubtitleTrack subtitles;
  subtitles.subtitles = {{"b", 2.0f}, {"a", 1.0f}};
  std::string out;
  track::multisong::serialize_subtitle_track(subtitles, out);
  EXPECT_EQ(out, "2 b\n1 a\n");
}

TEST(MotifBody, NotesInStoredOrder) {
  song::Note late;
  late.start = 2;
  late.pitch = 0;
  late.final_segment.duration = 1;
  song::Note early;
  early.start = 0.5f;
  early.pitch = -2;
  early.final_segment.duration = 0.25f;
  early.final_segment.pitch_delta = 3;
  early.final_segment.ease_in = false;
  early.final_segment.ease_out = false;
  // A sound on a motif's note is not written: the placement names it.
  song::Note voiced;
  voiced.sound = "piano";
  voiced.start = 3;
  voiced.pitch = 4;
  voiced.volume = 0.5f;
  voiced.final_segment.duration = 0.5f;
  track::multisong::Motif motif;
  motif.notes = {late, early, voiced};
  std::string out;
  track::multisong::serialize_motif(motif, out);
  EXPECT_EQ(out, "2 0 1\n0.5 -2 0.25 glide 3 linear\n3 4 0.5 volume 0.5\n");
}

TEST(SmallSections, EmptyEntriesWriteOnlyTheirHeadings) {
  track::multisong::TrackSections sections;
  sections.subtitles.entries.push_back({"lyrics", {}});
  sections.motifs.entries.push_back({"riff", {}});
  sections.snapshots.entries.push_back({"calm", {}});
  std::string out;
  track::multisong::serialize(sections, out);
  EXPECT_EQ(out, "# Subtitles\n\n## lyrics\n\n# Motifs\n\n## riff\n\n# Snapshots\n\n## calm\n");
}

}  // namespace
