// Damaged tracks through the import: the warning names the track, the place
// and the reason, and what was read before the damage still makes notes.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "testutil/midi_builder.hpp"
#include "tracksmith/track/midi/import.hpp"

using namespace tracksmith;

namespace {

using testutil::Bytes;
using testutil::MidiBuilder;
using testutil::TrackBuilder;

struct DamageImportCase {
  const char* name;
  std::vector<Bytes> tracks;          ///< track chunk data, in file order
  std::vector<std::string> warnings;  ///< all warnings, in order
  std::vector<std::size_t> notes;     ///< notes per layer, in layer order
  float last_length;                  ///< length in beats of the last layer's last note
};

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// At 480 ticks a beat: a note-on with status (4 bytes) and a note-off one
// beat later (a 2-byte delta and 3 bytes), 9 bytes in all.
Bytes one_beat_note(std::uint8_t key) {
  return TrackBuilder().note_on(0, 0, key, 100).note_off(480, 0, key).bytes();
}

TEST(ImportDamage, WarningsAndKeptNotes) {
  const Bytes pedal_held = TrackBuilder()
                               .note_on(0, 0, 60, 100)
                               .sustain(0, 0, true)
                               .note_off(480, 0, 60)
                               .controller(480, 0, 7, 100)
                               .bytes();
  const std::vector<DamageImportCase> cases = {
      {"bad data byte after one note",
       {join({one_beat_note(60), {0x00, 0x90, 0x3C, 0x9C}})},
       {"track 1: data byte 0x9C inside a note-on at byte 31; the rest of the track is ignored"},
       {1},
       1.0f},
      // The pedal still holds the note when the track is cut: it ends at the
      // tick of the last event read (the cut event's delta does not count).
      {"note held by the pedal when the track is cut",
       {join({pedal_held, {0x83, 0x60, 0xF3}})},
       {"track 1: system common status 0xF3 at byte 40; the rest of the track is ignored"},
       {1},
       2.0f},
      {"damage after the end of the track is not reported",
       {join({one_beat_note(60), {0x00, 0xFF, 0x2F, 0x00, 0x00, 0x90, 0x3C, 0x9C}})},
       {},
       {1},
       1.0f},
      {"truncated sysex in the second track",
       {one_beat_note(60), join({one_beat_note(62), one_beat_note(64), {0x00, 0xF0, 0x05, 0x01}})},
       {"track 2: sysex declares 5 bytes but 1 remain at byte 57; the rest of the track is "
        "ignored"},
       {1, 2},
       1.0f},
      {"a damaged track without notes still counts",
       {{0x00, 0x3C, 0x40}, one_beat_note(60), {0x00, 0xFF}},
       {"track 1: running status byte missing at byte 22; the rest of the track is ignored",
        "track 3: meta event without its type byte at byte 50; the rest of the track is ignored"},
       {1},
       1.0f},
  };
  for (const DamageImportCase& c : cases) {
    SCOPED_TRACE(c.name);
    MidiBuilder file;
    for (const Bytes& t : c.tracks) file.chunk("MTrk", t);
    auto result = track::midi::song_from_midi(file.bytes());
    ASSERT_TRUE(result.has_value()) << result.error().text();
    EXPECT_EQ(result->warnings, c.warnings);
    const auto& layers = result->document.sections.layers.entries;
    ASSERT_EQ(layers.size(), c.notes.size());
    for (std::size_t i = 0; i < layers.size(); ++i) {
      EXPECT_EQ(layers[i].value.notes.size(), c.notes[i]) << "layer " << i;
    }
    ASSERT_FALSE(layers.back().value.notes.empty());
    EXPECT_EQ(layers.back().value.notes.back().length(), c.last_length);
  }
}

}  // namespace
