// The written text of imported documents: the model as the writers see it.

#include <gtest/gtest.h>

#include <string>

#include "tracksmith/header_format/document.hpp"
#include "testutil/midi_builder.hpp"
#include "tracksmith/track/midi/import.hpp"
#include "tracksmith/track/multisong/track_sections.hpp"

using namespace tracksmith;

namespace {

using testutil::MidiBuilder;
using testutil::TrackBuilder;

std::string imported_text(const testutil::Bytes& bytes) {
  auto result = track::midi::song_from_midi(bytes);
  EXPECT_TRUE(result.has_value());
  std::string out;
  if (result) header_format::write_document(result->document, out);
  return out;
}

// A drum pattern of kick, hi-hat and snare played twice stays note by note:
// a motif would give all its notes the one sound of its placements. The
// hi-hat figure of the third track, one sound throughout, becomes a motif.
// The lead's second note starts while the wheel still stands at +1.
TEST(ImportText, SmallFileWithBendDrumsAndMotif) {
  TrackBuilder lead;
  lead.name("Lead\r\nPart").tempo(400000)
      .note_on(0, 0, 72, 100).bend(240, 0, 12288).note_off(240, 0, 72)
      .note_on(0, 0, 69, 127).note_off(240, 0, 69)
      .end();
  TrackBuilder drums;
  TrackBuilder hats;
  for (int rep = 0; rep < 2; ++rep) {
    drums.note_on(0, 9, 36, 127).note_off(240, 9, 36)
        .note_on(0, 9, 42, 64).note_off(240, 9, 42)
        .note_on(0, 9, 38, 100).note_off(240, 9, 38)
        .note_on(0, 9, 42, 64).note_off(240, 9, 42);
    hats.note_on(0, 9, 42, 127).note_off(120, 9, 42)
        .note_on(0, 9, 42, 64).note_off(120, 9, 42)
        .note_on(0, 9, 42, 100).note_off(240, 9, 42)
        .note_on(0, 9, 42, 64).note_off(480, 9, 42);
  }
  drums.end();
  hats.end();
  const std::string text = imported_text(MidiBuilder().track(lead).track(drums).track(hats).bytes());
  // The line break in the track name becomes spaces, so the entry heading
  // and the song's layer line stay single lines.
  EXPECT_EQ(text,
            "@import std:instruments\n"
            "\n"
            "# Songs\n"
            "\n"
            "## song\n"
            "@tempo 150\n"
            "@layer Lead  Part\n"
            "@layer Track 2\n"
            "@layer Track 3\n"
            "\n"
            "# Layers\n"
            "\n"
            "## Lead  Part\n"
            "piano 0 3 1 volume 0.79\n"
            "  pitch 0 1, 0.5 1, 1 1 linear\n"
            "piano 1 0 0.5\n"
            "  pitch 0 1, 1 1 linear\n"
            "\n"
            "## Track 2\n"
            "kick 0 0 0.25\n"
            "hihat 0.5 0 0.25 volume 0.5\n"
            "snare 1 0 0.25 volume 0.79\n"
            "hihat 1.5 0 0.25 volume 0.5\n"
            "kick 2 0 0.25\n"
            "hihat 2.5 0 0.25 volume 0.5\n"
            "snare 3 0 0.25 volume 0.79\n"
            "hihat 3.5 0 0.25 volume 0.5\n"
            "\n"
            "## Track 3\n"
            "motif midi_track3_motif1 0 hihat\n"
            "motif midi_track3_motif1 2 hihat\n"
            "\n"
            "# Motifs\n"
            "\n"
            "## midi_track3_motif1\n"
            "0 0 0.25\n"
            "0.25 0 0.25 volume 0.5\n"
            "0.5 0 0.25 volume 0.79\n"
            "1 0 0.25 volume 0.5\n");
}

}  // namespace
