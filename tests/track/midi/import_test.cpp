// The import driver on MIDI bytes: note pairing and the sustain pedal, bends,
// programs, names, layer naming, tempo, warnings, motifs and failures.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "testutil/midi_builder.hpp"
#include "testutil/random.hpp"
#include "tracksmith/header_format/document.hpp"
#include "tracksmith/track/midi/import.hpp"

using namespace tracksmith;

namespace {

using testutil::Bytes;
using testutil::MidiBuilder;
using testutil::TrackBuilder;
using track::midi::MidiImport;
using track::midi::song_from_midi;

MidiImport import_ok(const Bytes& bytes) {
  auto result = song_from_midi(bytes);
  EXPECT_TRUE(result.has_value()) << (result ? "" : result.error().text());
  if (!result) return {};
  return std::move(result).value();
}

std::string import_error(const Bytes& bytes) {
  auto result = song_from_midi(bytes);
  EXPECT_FALSE(result.has_value());
  return result ? std::string() : result.error().text();
}

const song::Layer& layer(const MidiImport& import, std::size_t index) {
  return import.document.sections.layers.entries.at(index).value;
}

// A copy, so that it outlives the import it came from.
song::Layer first_layer(const Bytes& bytes) {
  const MidiImport import = import_ok(bytes);
  if (import.document.sections.layers.entries.empty()) return {};
  return import.document.sections.layers.entries[0].value;
}

std::vector<std::string> entry_names(const MidiImport& import) {
  std::vector<std::string> names;
  for (const auto& entry : import.document.sections.layers.entries) names.push_back(entry.name);
  return names;
}

Bytes one_track(const TrackBuilder& track, std::uint16_t division = 480) {
  return MidiBuilder(1, division).track(track).bytes();
}

struct Span {
  float start;
  float length;
  float pitch;
};

void expect_notes(const song::Layer& layer, const std::vector<Span>& want, const char* what) {
  ASSERT_EQ(layer.notes.size(), want.size()) << what;
  for (std::size_t k = 0; k < want.size(); ++k) {
    EXPECT_EQ(layer.notes[k].start, want[k].start) << what << " note " << k;
    EXPECT_EQ(layer.notes[k].final_segment.duration, want[k].length) << what << " note " << k;
    EXPECT_EQ(layer.notes[k].pitch, want[k].pitch) << what << " note " << k;
  }
}

TEST(ImportScan, NotePairingAndSustainPedal) {
  struct Case {
    const char* what;
    TrackBuilder track;
    std::vector<Span> notes;  // in the order finished
  };
  const Case cases[] = {
      {"plain note-off and velocity-0 note-on",
       TrackBuilder().note_on(0, 0, 60, 100).note_off(480, 0, 60).note_on(0, 0, 62, 100)
           .note_on(960, 0, 62, 0).end(),
       {{0, 1, -9}, {1, 2, -7}}},
      {"pedal release ends the note",
       TrackBuilder().note_on(0, 0, 60, 100).sustain(240, 0, true).note_off(240, 0, 60)
           .sustain(480, 0, false).end(),
       {{0, 2, -9}}},
      {"released notes end at pedal release in release order",
       TrackBuilder().sustain(0, 0, true).note_on(0, 0, 60, 100).note_on(0, 0, 64, 100)
           .note_off(480, 0, 64).note_off(480, 0, 60).sustain(480, 0, false).end(),
       {{0, 3, -5}, {0, 3, -9}}},
      {"same key again while sustained ends the held note",
       TrackBuilder().note_on(0, 0, 60, 100).sustain(0, 0, true).note_off(480, 0, 60)
           .note_on(240, 0, 60, 100).note_off(240, 0, 60).sustain(240, 0, false).end(),
       {{0, 1.5f, -9}, {1.5f, 1, -9}}},
      {"a key struck again ends the sounding note where the new one begins",
       TrackBuilder().note_on(0, 0, 60, 100).note_on(480, 0, 60, 100).note_off(480, 0, 60).end(),
       {{0, 1, -9}, {1, 1, -9}}},
      {"a key struck twice at one tick is one note",
       TrackBuilder().note_on(0, 0, 60, 100).note_on(0, 0, 60, 100).note_off(480, 0, 60).end(),
       {{0, 1, -9}}},
      {"a key struck again under the pedal ends the sounding note at once",
       TrackBuilder().sustain(0, 0, true).note_on(0, 0, 60, 100).note_on(480, 0, 60, 100)
           .note_off(480, 0, 60).sustain(480, 0, false).end(),
       {{0, 1, -9}, {1, 2, -9}}},
      {"a drum struck again ends the sounding drum note",
       TrackBuilder().note_on(0, 9, 38, 100).note_on(240, 9, 38, 100).note_off(240, 9, 38).end(),
       {{0, 0.25f, 0}, {0.5f, 0.25f, 0}}},
      {"pedal values 64 and up hold, 63 and below release",
       TrackBuilder().controller(0, 0, 64, 64).note_on(0, 0, 60, 100).note_off(480, 0, 60)
           .controller(480, 0, 64, 63).controller(0, 0, 64, 127).note_on(0, 0, 62, 100)
           .note_off(480, 0, 62).controller(480, 0, 64, 0).end(),
       {{0, 2, -9}, {2, 2, -7}}},
      {"pedal on another channel holds nothing",
       TrackBuilder().sustain(0, 1, true).note_on(0, 0, 60, 100).note_off(480, 0, 60)
           .sustain(480, 1, false).end(),
       {{0, 1, -9}}},
      {"pedal up releases only its own channel",
       TrackBuilder().sustain(0, 0, true).sustain(0, 1, true).note_on(0, 0, 60, 100)
           .note_on(0, 1, 62, 100).note_off(480, 1, 62).note_off(0, 0, 60)
           .sustain(480, 0, false).sustain(480, 1, false).end(),
       {{0, 2, -9}, {0, 3, -7}}},
      {"held notes end in release order across channels; a key takes its earliest release",
       TrackBuilder().sustain(0, 0, true).sustain(0, 1, true).note_on(0, 0, 60, 100)
           .note_on(0, 1, 62, 100).note_on(0, 0, 64, 100).note_off(480, 0, 64)
           .note_off(480, 1, 62).note_off(480, 0, 60).note_on(480, 0, 64, 100)
           .sustain(480, 1, false).sustain(480, 1, true).note_on(0, 1, 67, 100)
           .note_off(480, 1, 67).note_off(480, 0, 64).end(480),
       {{0, 4, -5}, {0, 5, -7}, {0, 9, -9}, {6, 3, -2}, {4, 5, -5}}},
      {"pedal held at track end ends notes at the last tick",
       TrackBuilder().sustain(0, 0, true).note_on(0, 0, 60, 100).note_off(480, 0, 60).end(960),
       {{0, 3, -9}}},
      {"never released notes are dropped",
       TrackBuilder().note_on(0, 0, 50, 100).note_on(0, 0, 60, 100).note_off(480, 0, 60).end(),
       {{0, 1, -9}}},
      {"unpaired note-off and pedal up are ignored",
       TrackBuilder().note_off(0, 0, 61).sustain(0, 0, false).note_on(0, 0, 60, 100)
           .note_off(480, 0, 60).end(),
       {{0, 1, -9}}},
  };
  for (const Case& c : cases) {
    const MidiImport import = import_ok(one_track(c.track));
    ASSERT_EQ(import.document.sections.layers.entries.size(), 1u) << c.what;
    expect_notes(layer(import, 0), c.notes, c.what);
  }
}

TEST(ImportScan, BendValuesFromRawWheelPositions) {
  struct Case {
    std::uint16_t raw;
    float semitones;
  };
  const Case cases[] = {{0, -2.0f}, {4096, -1.0f}, {12288, 1.0f}, {16383, 1.999755859375f}};
  for (const Case& c : cases) {
    // The bend sits at the note's start: the whole note jumps to its value.
    const Bytes bytes = one_track(
        TrackBuilder().note_on(0, 0, 60, 100).bend(0, 0, c.raw).note_off(480, 0, 60).end());
    const song::Layer& l = first_layer(bytes);
    ASSERT_EQ(l.notes.size(), 1u);
    const std::vector<song::NoteSegment> segments{{c.semitones, 0.0f, false, false}};
    EXPECT_EQ(l.notes[0].segments, segments) << c.raw;
    EXPECT_EQ(l.notes[0].final_segment, (song::NoteSegment{0.0f, 1.0f, true, true})) << c.raw;
  }
  // The centre position is no movement at all.
  const Bytes centred = one_track(
      TrackBuilder().note_on(0, 0, 60, 100).bend(0, 0, 8192).note_off(480, 0, 60).end());
  EXPECT_TRUE(first_layer(centred).notes[0].segments.empty());
}

TEST(ImportScan, BendsApplyFromTheNoteOnOnItsChannel) {
  const Bytes bytes = one_track(TrackBuilder()
                                    .bend(0, 0, 0)           // before the note: its start
                                    .note_on(240, 0, 60, 100)
                                    .bend(0, 1, 16383)       // other channel
                                    .bend(240, 0, 12288)     // halfway
                                    .bend(240, 0, 4096)      // at the note-off tick
                                    .note_off(0, 0, 60)
                                    .end());
  const song::Layer& l = first_layer(bytes);
  ASSERT_EQ(l.notes.size(), 1u);
  const std::vector<song::NoteSegment> segments{{-2.0f, 0.0f, false, false},
                                                {3.0f, 0.5f, false, false}};
  EXPECT_EQ(l.notes[0].segments, segments);
  EXPECT_EQ(l.notes[0].final_segment, (song::NoteSegment{0.0f, 0.5f, true, true}));
}

// A note begins where its channel's wheel stands at the note-on.
TEST(ImportScan, NotesStartWhereTheWheelStands) {
  using Segments = std::vector<song::NoteSegment>;
  struct Case {
    const char* what;
    TrackBuilder track;
    Segments segments;  // of the first note finished
    song::NoteSegment final_segment;
  };
  const song::NoteSegment whole{0.0f, 1.0f, true, true};
  const Case cases[] = {
      {"wheel bent before the note",
       TrackBuilder().bend(0, 0, 12288).note_on(240, 0, 60, 100).note_off(480, 0, 60).end(),
       {{1.0f, 0.0f, false, false}}, whole},
      {"bends only before the note: the last one counts",
       TrackBuilder().bend(0, 0, 12288).bend(479, 0, 0).note_on(1, 0, 60, 100)
           .note_off(480, 0, 60).end(),
       {{-2.0f, 0.0f, false, false}}, whole},
      {"wheel returned to centre before the note",
       TrackBuilder().bend(0, 0, 12288).bend(240, 0, 8192).note_on(240, 0, 60, 100)
           .note_off(480, 0, 60).end(),
       {}, whole},
      {"a bend at the start tick sets the start",
       TrackBuilder().bend(0, 0, 12288).note_on(240, 0, 60, 100).bend(0, 0, 4096)
           .note_off(480, 0, 60).end(),
       {{-1.0f, 0.0f, false, false}}, whole},
      {"a bend at the start tick back to centre leaves the note plain",
       TrackBuilder().bend(0, 0, 12288).note_on(240, 0, 60, 100).bend(0, 0, 8192)
           .note_off(480, 0, 60).end(),
       {}, whole},
      {"start and a bend inside",
       TrackBuilder().bend(0, 0, 12288).note_on(240, 0, 60, 100).bend(240, 0, 8192)
           .note_off(240, 0, 60).end(),
       {{1.0f, 0.0f, false, false}, {-1.0f, 0.5f, false, false}}, {0.0f, 0.5f, true, true}},
      {"the wheel travels with a sustained note",
       TrackBuilder().bend(0, 0, 4096).sustain(0, 0, true).note_on(0, 0, 60, 100)
           .note_off(240, 0, 60).bend(0, 0, 8192).sustain(240, 0, false).end(),
       {{-1.0f, 0.0f, false, false}, {1.0f, 0.5f, false, false}}, {0.0f, 0.5f, true, true}},
      {"another channel's wheel does not reach the note",
       TrackBuilder().bend(0, 1, 12288).note_on(240, 0, 60, 100).note_off(480, 0, 60).end(),
       {}, whole},
      {"drums never bend",
       TrackBuilder().bend(0, 9, 12288).note_on(240, 9, 38, 100).note_off(480, 9, 38).end(),
       {}, {0.0f, 0.25f, true, true}},
      {"the wheel is fresh for every track's first note",
       TrackBuilder().note_on(0, 0, 60, 100).note_off(480, 0, 60).end(), {}, whole},
  };
  for (const Case& c : cases) {
    // A first track leaves its wheel bent; the next track starts centred.
    const Bytes bytes = MidiBuilder()
                            .track(TrackBuilder().bend(0, 0, 16383).end())
                            .track(c.track)
                            .bytes();
    const song::Layer& l = first_layer(bytes);
    ASSERT_FALSE(l.notes.empty()) << c.what;
    EXPECT_EQ(l.notes[0].segments, c.segments) << c.what;
    EXPECT_EQ(l.notes[0].final_segment, c.final_segment) << c.what;
  }
}

// The pitch-bend range (registered parameter 0, 0) scales the bends that
// follow it, per channel and per track.
TEST(ImportScan, BendRangeFromRegisteredParameter) {
  struct Case {
    const char* what;
    TrackBuilder setup;  // events before the bend on channel 0
    float semitones;     // of a bend at raw 12288, half way up
  };
  const auto rpn = [](std::uint8_t coarse, std::uint8_t fine) {
    return TrackBuilder().controller(0, 0, 101, coarse).controller(0, 0, 100, fine);
  };
  const Case cases[] = {
      {"default range of 2", TrackBuilder(), 1.0f},
      {"12 semitones", rpn(0, 0).controller(0, 0, 6, 12), 6.0f},
      {"1 semitone 50 cents, LSB first",
       TrackBuilder().controller(0, 0, 100, 0).controller(0, 0, 101, 0).controller(0, 0, 38, 50)
           .controller(0, 0, 6, 1),
       0.75f},
      {"data entry for a non-registered parameter",
       rpn(0, 0).controller(0, 0, 99, 0).controller(0, 0, 98, 0).controller(0, 0, 6, 12), 1.0f},
      {"registered again after a non-registered parameter",
       rpn(0, 0).controller(0, 0, 99, 0).controller(0, 0, 100, 0).controller(0, 0, 6, 12), 6.0f},
      {"null parameter", rpn(127, 127).controller(0, 0, 6, 12), 1.0f},
      {"another registered parameter", rpn(0, 1).controller(0, 0, 6, 12), 1.0f},
      {"data entry without a parameter", TrackBuilder().controller(0, 0, 6, 12), 1.0f},
      {"another channel's range",
       TrackBuilder().controller(0, 1, 101, 0).controller(0, 1, 100, 0).controller(0, 1, 6, 12),
       1.0f},
  };
  for (const Case& c : cases) {
    TrackBuilder track = c.setup;
    track.note_on(0, 0, 60, 100).bend(0, 0, 12288).note_off(480, 0, 60).end();
    const song::Layer& l = first_layer(one_track(track));
    ASSERT_EQ(l.notes.size(), 1u) << c.what;
    EXPECT_EQ(l.notes[0].segments, (std::vector<song::NoteSegment>{{c.semitones, 0.0f, false, false}}))
        << c.what;
  }
  // A range set in one track does not reach the next.
  const Bytes two = MidiBuilder()
                        .track(rpn(0, 0).controller(0, 0, 6, 12).end())
                        .track(TrackBuilder().note_on(0, 0, 60, 100).bend(0, 0, 12288)
                                   .note_off(480, 0, 60).end())
                        .bytes();
  EXPECT_EQ(first_layer(two).notes[0].segments,
            (std::vector<song::NoteSegment>{{1.0f, 0.0f, false, false}}));
  // A bend keeps the range in force when it was made.
  const Bytes later = one_track(TrackBuilder().note_on(0, 0, 60, 100).bend(0, 0, 12288)
                                    .controller(240, 0, 101, 0).controller(0, 0, 100, 0)
                                    .controller(0, 0, 6, 12).bend(0, 0, 12288)
                                    .note_off(240, 0, 60).end());
  EXPECT_EQ(first_layer(later).notes[0].segments,
            (std::vector<song::NoteSegment>{{1.0f, 0.0f, false, false}, {5.0f, 0.5f, false, false}}));
}

// Notes see exactly the bends of their channel inside their tick range, in
// file order, also after the tick counter wrapped (bend ticks then go down),
// and for notes whose range is empty or inverted (none), each starting where
// the wheel stood at its note-on. The oracle hands every note the channel's
// whole bend list, as build_note takes it.
TEST(ImportScan, BendsInsideTheNoteAcrossTickWraps) {
  testutil::SplitMix64 random(7);
  for (int round = 0; round < 40; ++round) {
    TrackBuilder track;
    std::vector<track::midi::Bend> bends[2];
    std::uint32_t starts[2][4] = {};
    std::uint8_t velocities[2][4] = {};
    float start_bends[2][4] = {};
    bool on[2][4] = {};
    std::vector<song::Note> expected;
    std::uint32_t tick = 0;
    for (int event = 0; event < 300; ++event) {
      // Mostly short steps; now and then one long enough to wrap soon.
      const std::uint32_t dt = random.chance(15) ? 0x0FFFFFFFu - static_cast<std::uint32_t>(random.below(1000))
                                                : static_cast<std::uint32_t>(random.below(3) * 40);
      tick += dt;
      const auto ch = static_cast<std::uint8_t>(random.below(2));
      const auto key = static_cast<std::uint8_t>(random.below(4));
      if (random.chance(40)) {
        const auto raw = static_cast<std::uint16_t>(random.below(16384));
        track.bend(dt, ch, raw);
        bends[ch].push_back({tick, (static_cast<float>(raw) - 8192.0f) / 4096.0f});
      } else if (!on[ch][key]) {
        // Velocities vary so that no figure repeats and the notes stay in order.
        velocities[ch][key] = static_cast<std::uint8_t>(1 + random.below(127));
        track.note_on(dt, ch, static_cast<std::uint8_t>(60 + key), velocities[ch][key]);
        on[ch][key] = true;
        starts[ch][key] = tick;
        start_bends[ch][key] = bends[ch].empty() ? 0.0f : bends[ch].back().semitones;
      } else {
        track.note_off(dt, ch, static_cast<std::uint8_t>(60 + key));
        on[ch][key] = false;
        expected.push_back(track::midi::build_note(ch, static_cast<std::uint8_t>(60 + key), velocities[ch][key],
                                                   starts[ch][key], tick, 480.0f, 0, std::nullopt,
                                                   bends[ch], start_bends[ch][key]));
      }
    }
    const MidiImport import = import_ok(one_track(track.end()));
    if (expected.empty()) continue;
    // Motif extraction hands the layer its notes sorted by start.
    std::stable_sort(expected.begin(), expected.end(),
                     [](const song::Note& a, const song::Note& b) { return a.start < b.start; });
    const auto& notes = layer(import, 0).notes;
    ASSERT_EQ(notes.size(), expected.size()) << "round " << round;
    for (std::size_t k = 0; k < notes.size(); ++k) {
      EXPECT_EQ(notes[k].segments, expected[k].segments) << "round " << round << " note " << k;
      EXPECT_EQ(notes[k].final_segment, expected[k].final_segment) << "round " << round << " note " << k;
    }
  }
}

TEST(ImportScan, DrumAndMelodicNotesShareTheTrackLayer) {
  const Bytes bytes = one_track(TrackBuilder()
                                    .note_on(0, 9, 38, 127)
                                    .bend(0, 9, 0)
                                    .note_on(0, 0, 72, 64)
                                    .note_off(1440, 9, 38)
                                    .note_off(0, 0, 72)
                                    .end());
  const song::Layer& l = first_layer(bytes);
  ASSERT_EQ(l.notes.size(), 2u);
  EXPECT_EQ(l.notes[0].sound, "snare");
  EXPECT_EQ(l.notes[0].pitch, 0.0f);
  EXPECT_EQ(l.notes[0].final_segment.duration, 0.25f);
  EXPECT_TRUE(l.notes[0].segments.empty());
  EXPECT_EQ(l.notes[0].volume, 1.0f);
  EXPECT_EQ(l.notes[1].sound, "piano");
  EXPECT_EQ(l.notes[1].pitch, 3.0f);
  EXPECT_EQ(l.notes[1].volume, 0.5f);
}

TEST(ImportScan, ProgramInForceWhenTheNoteEndsCounts) {
  const Bytes bytes = one_track(TrackBuilder()
                                    .note_on(0, 0, 60, 100)
                                    .program(240, 0, 33)
                                    .note_off(240, 0, 60)
                                    .program(0, 1, 40)
                                    .note_on(0, 0, 62, 100)
                                    .note_off(480, 0, 62)
                                    .end());
  const song::Layer& l = first_layer(bytes);
  ASSERT_EQ(l.notes.size(), 2u);
  EXPECT_EQ(l.notes[0].sound, "bass");
  EXPECT_EQ(l.notes[1].sound, "bass");
}

TEST(ImportNames, NameEventsAfterNotes) {
  const Bytes bytes = one_track(TrackBuilder()
                                    .note_on(0, 0, 60, 100)
                                    .note_off(480, 0, 60)
                                    .name("Flute")
                                    .name("Ignored")
                                    .note_on(0, 0, 62, 100)
                                    .note_off(480, 0, 62)
                                    .end());
  const MidiImport import = import_ok(bytes);
  const song::Layer& l = layer(import, 0);
  EXPECT_EQ(l.name, "Flute");
  ASSERT_EQ(l.notes.size(), 2u);
  EXPECT_EQ(l.notes[0].sound, "piano");
  EXPECT_EQ(l.notes[1].sound, "flute");
}

TEST(ImportNames, CleanedNames) {
  struct Case {
    const char* what;
    std::vector<std::string> events;  // name events in order (track name type)
    std::string expected;
  };
  const Case cases[] = {
      {"white space only, then a name", {"  \t ", "Lead"}, "Lead"},
      {"trimmed at both ends", {"\xE3\x80\x80 Strings\xC2\xA0\xE2\x80\xA8"}, "Strings"},
      {"zero-width space and separators are not white space",
       {"\xE2\x80\x8B" "A\x1C"}, "\xE2\x80\x8B" "A\x1C"},
      {"line breaks inside become spaces", {"\nUpper\r\nLower\r"}, "Upper  Lower"},
      {"every ASCII white space trimmed, separators kept", {"\v\f\tDr\x1Fums\x1C \r\n"}, "Dr\x1Fums\x1C"},
      {"surrogate bytes give one replacement each", {"x\xED\xA0\x80"}, "x\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"truncated sequence gives one replacement", {"\xF0\x90\x80y"}, "\xEF\xBF\xBDy"},
      {"overlong and stray bytes", {"\xC0\xAF-\xFF"}, "\xEF\xBF\xBD\xEF\xBF\xBD-\xEF\xBF\xBD"},
      {"valid multi-byte text kept", {"Fl\xC3\xB6te \xF0\x9F\x8E\xB5"}, "Fl\xC3\xB6te \xF0\x9F\x8E\xB5"},
      {"a padded C string ends at its NUL", {std::string("Piano \0\0\0", 9)}, "Piano"},
      {"only the text before the first NUL counts", {std::string("Bass\0Lead\0", 10)}, "Bass"},
      {"a name that starts with NUL is empty", {std::string("\0Lead", 5), "Strings"}, "Strings"},
  };
  for (const Case& c : cases) {
    TrackBuilder track;
    for (const std::string& event : c.events) track.name(event);
    track.note_on(0, 0, 60, 100).note_off(480, 0, 60).end();
    EXPECT_EQ(first_layer(one_track(track)).name, c.expected) << c.what;
  }
  // An instrument-name event counts like a track name.
  const Bytes instrument = one_track(
      TrackBuilder().name(" ").instrument("Lead").note_on(0, 0, 60, 100).note_off(480, 0, 60).end());
  const song::Layer& l = first_layer(instrument);
  EXPECT_EQ(l.name, "Lead");
  EXPECT_EQ(l.notes[0].sound, "lead");
}

TrackBuilder named_track(const char* name) {
  TrackBuilder track;
  if (name != nullptr) track.name(name);
  track.note_on(0, 0, 60, 100).note_off(480, 0, 60).end();
  return track;
}

TEST(ImportNames, UniqueEntryNamesAndTrackNumbers) {
  struct Case {
    const char* what;
    std::vector<const char*> tracks;  // nullptr: no name event; "-": a track without notes
    std::vector<std::string> entries;
  };
  const Case cases[] = {
      {"duplicates", {"Bass", "Bass", "Bass 2"}, {"Bass", "Bass 2", "Bass 2 2"}},
      {"three of a kind", {"Piano", "Piano", "Piano"}, {"Piano", "Piano 2", "Piano 3"}},
      {"case matters", {"Piano", "piano"}, {"Piano", "piano"}},
      {"unnamed tracks count tracks without notes", {"-", nullptr, "-", nullptr}, {"Track 2", "Track 4"}},
  };
  for (const Case& c : cases) {
    MidiBuilder file;
    for (const char* name : c.tracks) {
      if (name != nullptr && std::string(name) == "-") {
        file.track(TrackBuilder().tempo(500000).end());
      } else {
        file.track(named_track(name));
      }
    }
    const MidiImport import = import_ok(file.bytes());
    EXPECT_EQ(entry_names(import), c.entries) << c.what;
    ASSERT_EQ(import.document.sections.songs.entries.size(), 1u);
    EXPECT_EQ(import.document.sections.songs.entries[0].value.layers, c.entries) << c.what;
  }
  // The layer's own name keeps the track name.
  MidiBuilder twice;
  twice.track(named_track("Bass")).track(named_track("Bass"));
  EXPECT_EQ(layer(import_ok(twice.bytes()), 1).name, "Bass");
}

TEST(ImportSong, TempoAndWarnings) {
  struct Case {
    const char* what;
    std::vector<std::vector<std::uint32_t>> tempos;  // per track, in order
    float tempo;
    std::vector<std::string> warnings;
  };
  const std::string dropped = " tempo events; using the first, tempo changes are dropped";
  const Case cases[] = {
      {"none", {{}, {}}, 120.0f, {}},
      {"one", {{400000}, {}}, 150.0f, {}},
      {"two in one track", {{500000, 400000}, {}}, 120.0f, {"2" + dropped}},
      {"first in file order across tracks", {{}, {600000}, {500000}}, 100.0f, {"2" + dropped}},
      {"zero is skipped but counted", {{0, 400000}, {}}, 150.0f, {"2" + dropped}},
      {"only zero", {{0}, {}}, 120.0f, {}},
      {"three zeros", {{0, 0}, {0}}, 120.0f, {"3" + dropped}},
      {"odd value", {{333333}}, 180.00018f, {}},
  };
  for (const Case& c : cases) {
    MidiBuilder file;
    for (std::size_t t = 0; t < c.tempos.size(); ++t) {
      TrackBuilder track;
      for (std::uint32_t value : c.tempos[t]) track.tempo(value);
      if (t == 0) track.note_on(0, 0, 60, 100).note_off(480, 0, 60);
      file.track(track.end());
    }
    const MidiImport import = import_ok(file.bytes());
    const track::multisong::Song& song = import.document.sections.songs.entries.at(0).value;
    EXPECT_EQ(song.tempo, c.tempo) << c.what;
    EXPECT_EQ(import.warnings, c.warnings) << c.what;
  }
}

TEST(ImportSong, DocumentFrame) {
  const MidiImport import = import_ok(one_track(named_track("Lead")));
  EXPECT_EQ(import.song_name, "song");
  EXPECT_EQ(import.document.leading_lines, std::vector<std::string>{"@import std:instruments"});
  const auto& sections = import.document.sections;
  ASSERT_EQ(sections.songs.entries.size(), 1u);
  EXPECT_EQ(sections.songs.entries[0].name, "song");
  const track::multisong::Song& song = sections.songs.entries[0].value;
  EXPECT_EQ(song.signature_numerator, 4u);
  EXPECT_EQ(song.signature_denominator, 4u);
  EXPECT_EQ(song.tempo_ratio, 1.0f);
  EXPECT_FALSE(song.length.has_value());
  EXPECT_TRUE(sections.sounds.entries.empty());
  EXPECT_TRUE(sections.motifs.entries.empty());
  EXPECT_TRUE(import.document.unknown_sections.empty());
  EXPECT_TRUE(import.warnings.empty());
}

TEST(ImportSong, DamagedTracksAreReportedBeforeTheTempoWarning) {
  TrackBuilder damaged;
  damaged.tempo(500000).note_on(0, 0, 60, 100).note_off(480, 0, 60);
  damaged.raw({0x00, 0x90, 0x3C, 0x9C});  // a status byte where the velocity belongs
  damaged.note_on(0, 0, 62, 100).note_off(480, 0, 62).end();
  TrackBuilder second;
  second.tempo(400000).note_on(0, 0, 64, 100).note_off(480, 0, 64).end();
  const MidiImport import = import_ok(MidiBuilder().track(second).track(damaged).bytes());
  ASSERT_EQ(import.warnings.size(), 2u);
  const std::string& first = import.warnings[0];
  EXPECT_EQ(first.rfind("track 2: ", 0), 0u) << first;
  EXPECT_NE(first.find(" at byte "), std::string::npos) << first;
  const std::string tail = "; the rest of the track is ignored";
  ASSERT_GE(first.size(), tail.size());
  EXPECT_EQ(first.substr(first.size() - tail.size()), tail);
  EXPECT_EQ(import.warnings[1], "2 tempo events; using the first, tempo changes are dropped");
  // The events before the damage are kept.
  EXPECT_EQ(layer(import, 1).notes.size(), 1u);
}

// Each warning for what the document does not carry: its condition, its
// quiet case and its singular and plural forms.
TEST(ImportWarnings, WhatIsNotConverted) {
  struct Case {
    const char* what;
    std::vector<TrackBuilder> tracks;  // events before each track's one note
    std::vector<std::string> warnings;
  };
  const auto cc = [](std::uint8_t ch, std::uint8_t number, std::uint8_t value) {
    return TrackBuilder().controller(0, ch, number, value);
  };
  const auto meter = [](std::uint8_t numerator, std::uint8_t exponent) {
    return TrackBuilder().meta(0, 0x58, {numerator, exponent, 24, 8});
  };
  const Case cases[] = {
      {"nothing to say", {TrackBuilder()}, {}},
      {"one volume everywhere", {cc(0, 7, 100), cc(1, 7, 100)}, {}},
      {"volumes differ",
       {cc(0, 7, 100).controller(0, 0, 7, 100), TrackBuilder(), cc(1, 7, 90)},
       {"channel volume (controller 7) not converted: 3 events in tracks 1, 3"}},
      {"pan centred", {cc(0, 10, 64)}, {}},
      {"pan off centre", {cc(0, 10, 64).controller(0, 0, 10, 0)},
       {"pan (controller 10) not converted: 1 event in track 1"}},
      {"expression full", {cc(0, 11, 127)}, {}},
      {"expression below full", {TrackBuilder(), cc(0, 11, 100).controller(0, 2, 11, 0)},
       {"expression (controller 11) not converted: 2 events in track 2"}},
      {"4/4", {meter(4, 2)}, {}},
      {"the first meter other than 4/4", {meter(4, 2).meta(0, 0x58, {3, 2, 24, 8}), meter(6, 3)},
       {"time signature 3/4 not converted: the song is in 4/4"}},
      {"short and impossible time signatures are passed over",
       {TrackBuilder().meta(0, 0x58, {3, 2, 24}).meta(0, 0x58, {7, 32, 24, 8}).meta(0, 0x58, {7, 31, 24, 8})},
       {"time signature 7/2147483648 not converted: the song is in 4/4"}},
      {"one marker", {TrackBuilder().meta_text(0, 0x06, "Verse")},
       {"markers, cue points and lyrics not converted: 1 event"}},
      {"lyrics, markers and cue points; other texts are quiet",
       {TrackBuilder().meta_text(0, 0x05, "la").meta_text(0, 0x01, "text").meta_text(0, 0x07, "cue"),
        TrackBuilder().meta_text(0, 0x06, "")},
       {"markers, cue points and lyrics not converted: 3 events"}},
  };
  for (const Case& c : cases) {
    MidiBuilder file;
    for (TrackBuilder track : c.tracks) file.track(track.note_on(0, 0, 60, 100).note_off(480, 0, 60).end());
    EXPECT_EQ(import_ok(file.bytes()).warnings, c.warnings) << c.what;
  }
}

TEST(ImportWarnings, NotesNeverReleasedAndTheOrderOfAll) {
  TrackBuilder first;
  first.controller(0, 0, 10, 0).tempo(500000).meta_text(0, 0x05, "la").meta(0, 0x58, {6, 3, 24, 8})
      .controller(0, 0, 11, 64).controller(0, 0, 7, 100).note_on(0, 0, 60, 100)
      .note_on(0, 0, 62, 100).note_off(480, 0, 60).end();
  TrackBuilder damaged;
  damaged.tempo(400000).note_on(0, 0, 64, 100).note_on(0, 0, 65, 100).controller(0, 1, 7, 90);
  damaged.raw({0x00, 0x90, 0x3C, 0x9C});  // a status byte where the velocity belongs
  const MidiImport import = import_ok(MidiBuilder().track(first).track(damaged).bytes());
  ASSERT_EQ(import.warnings.size(), 9u);
  EXPECT_EQ(import.warnings[0], "track 1: 1 note never released, not converted");
  EXPECT_EQ(import.warnings[1].rfind("track 2: data byte 0x9C", 0), 0u) << import.warnings[1];
  const std::vector<std::string> rest(import.warnings.begin() + 2, import.warnings.end());
  EXPECT_EQ(rest, (std::vector<std::string>{
                      "track 2: 2 notes never released, not converted",
                      "2 tempo events; using the first, tempo changes are dropped",
                      "channel volume (controller 7) not converted: 2 events in tracks 1, 2",
                      "pan (controller 10) not converted: 1 event in track 1",
                      "expression (controller 11) not converted: 1 event in track 1",
                      "time signature 6/8 not converted: the song is in 4/4",
                      "markers, cue points and lyrics not converted: 1 event",
                  }));
  // Notes that never end come before "no notes found", which they explain.
  auto none = song_from_midi(MidiBuilder().track(TrackBuilder().note_on(0, 0, 60, 100).end()).bytes());
  ASSERT_FALSE(none.has_value());
  EXPECT_EQ(none.error().warnings,
            std::vector<std::string>{"track 1: 1 note never released, not converted"});
}

// The tracks are scanned on several threads at once, in windows of 256,
// and merged in file order, each layer written as text where it was scanned
// when asked: names, motifs, warnings and the document must not depend on
// how many threads there are, nor on where the layers were written.
TEST(ImportThreads, AnyNumberOfThreadsGivesTheSameDocument) {
  testutil::SplitMix64 random(11);
  MidiBuilder file;
  const char* names[] = {nullptr, "Bass", "Lead", "Bass", "Pad"};
  for (int t = 0; t < 300; ++t) {
    TrackBuilder track;
    if (const char* name = names[random.below(5)]) track.name(name);
    if (random.chance(5)) track.tempo(400000 + static_cast<std::uint32_t>(random.below(200000)));
    if (random.chance(10)) track.controller(0, 0, 7, static_cast<std::uint8_t>(random.below(128)));
    if (random.chance(10)) track.controller(0, 0, 10, 0);
    if (random.chance(5)) track.meta(0, 0x58, {3, 2, 24, 8});
    if (random.chance(5)) track.meta_text(0, 0x06, "Verse");
    const auto ch = static_cast<std::uint8_t>(random.below(3) == 0 ? 9 : random.below(4));
    const std::size_t notes = random.chance(20) ? 0 : random.chance(50) ? 12 : 1 + random.below(30);
    for (std::size_t n = 0; n < notes; ++n) {
      if (random.chance(15)) track.bend(0, ch, static_cast<std::uint16_t>(random.below(16384)));
      if (random.chance(5)) track.sustain(0, ch, random.chance(50));
      const auto key = static_cast<std::uint8_t>(60 + (n % 4) * 2);
      track.note_on(static_cast<std::uint32_t>(random.below(3) * 120), ch, key, 100);
      if (!random.chance(5)) track.note_off(240, ch, key);
    }
    if (random.chance(3)) track.raw({0x00, 0x90, 0x3C, 0x9C});  // damage
    file.track(track.end());
  }
  const Bytes bytes = file.bytes();
  std::string reference;
  std::vector<std::string> warnings;
  for (const unsigned threads : {1u, 2u, 3u, 8u}) {
    for (const bool write_layers : {false, true}) {
      track::midi::ImportOptions options;
      options.threads = threads;
      options.write_layers = write_layers;
      // Each chunk is wiped as soon as it is reported done, as the tool
      // gives its pages back: the document must not change.
      Bytes input = bytes;
      std::atomic<std::size_t> reported{0};
      if (write_layers) {
        options.chunk_done = [&](std::span<const std::uint8_t> chunk) {
          ++reported;
          std::fill_n(input.data() + (chunk.data() - input.data()), chunk.size(), std::uint8_t{0});
        };
      }
      auto result = song_from_midi(input, options);
      ASSERT_TRUE(result.has_value()) << threads;
      EXPECT_EQ(reported, write_layers ? 300u : 0u);
      std::string text;
      header_format::write_document(result->document, text, {},
                                    std::span<const std::optional<std::string>>(result->layer_bodies));
      if (write_layers) {
        const auto& layers = result->document.sections.layers.entries;
        ASSERT_EQ(result->layer_bodies.size(), layers.size());
        EXPECT_TRUE(result->layer_bodies.front());
        // A written layer holds no notes and no placements.
        for (std::size_t k = 0; k < layers.size(); ++k) {
          EXPECT_TRUE(!result->layer_bodies[k] ||
                      (layers[k].value.notes.empty() && layers[k].value.motif_instances.empty()))
              << k;
        }
      } else {
        EXPECT_TRUE(result->layer_bodies.empty());
      }
      if (threads == 1 && !write_layers) {
        reference = text;
        warnings = result->warnings;
        EXPECT_GT(result->document.sections.motifs.entries.size(), 0u);
        EXPECT_GT(warnings.size(), 5u);
        continue;
      }
      EXPECT_EQ(text, reference) << threads << write_layers;
      EXPECT_EQ(result->warnings, warnings) << threads;
    }
  }
}

TEST(ImportFailures, ErrorTexts) {
  EXPECT_EQ(import_error(MidiBuilder(1, 0xE728).track(named_track("Lead")).bytes()),
            "SMPTE timecode timing is not supported");
  EXPECT_EQ(import_error(MidiBuilder().track(TrackBuilder().tempo(500000).end()).bytes()),
            "no notes found");
  EXPECT_EQ(import_error(MidiBuilder().bytes()), "no notes found");
  EXPECT_EQ(import_error(one_track(TrackBuilder().note_on(0, 0, 60, 100).end())), "no notes found");
  const std::string parse = "could not parse MIDI data: invalid midi: ";
  EXPECT_EQ(import_error(one_track(named_track("Lead"), 0)).rfind(parse, 0), 0u);
  EXPECT_EQ(import_error(Bytes{'n', 'o', 'p', 'e'}).rfind(parse, 0), 0u);
}

// A track of `count` identical quarter notes, finished in reverse start order
// when `reverse` is set (all note-ons first, then note-offs from the last).
TrackBuilder repeated_notes(std::size_t count, bool reverse = false) {
  TrackBuilder track;
  if (!reverse) {
    for (std::size_t k = 0; k < count; ++k) track.note_on(0, 0, 60, 100).note_off(480, 0, 60);
  } else {
    for (std::size_t k = 0; k < count; ++k) track.note_on(k == 0 ? 0 : 480, 0, static_cast<std::uint8_t>(40 + k), 100);
    for (std::size_t k = count; k > 0; --k) track.note_off(0, 0, static_cast<std::uint8_t>(40 + k - 1));
  }
  return track.end();
}

TEST(ImportMotifs, NoteCountBounds) {
  struct Case {
    std::size_t count;
    std::size_t placements;
    std::size_t notes_left;
  };
  const Case cases[] = {{7, 0, 7}, {8, 2, 0}, {9, 2, 1}, {32, 2, 0}, {1500, 95, 0}, {1501, 0, 1501}};
  for (const Case& c : cases) {
    const MidiImport import = import_ok(one_track(repeated_notes(c.count)));
    const song::Layer& l = layer(import, 0);
    EXPECT_EQ(l.motif_instances.size(), c.placements) << c.count;
    EXPECT_EQ(l.notes.size(), c.notes_left) << c.count;
  }
  // Below the bound the notes stay in the order they were finished.
  const song::Layer& seven = first_layer(one_track(repeated_notes(7, true)));
  ASSERT_EQ(seven.notes.size(), 7u);
  EXPECT_EQ(seven.notes.front().pitch, -23.0f);
  EXPECT_EQ(seven.notes.back().pitch, -29.0f);
}

TEST(ImportMotifs, TransposedRepeatAndNamesInByteOrderAcrossTracks) {
  TrackBuilder figure;
  const std::uint8_t keys[] = {60, 64, 67, 62, 72, 76, 79, 74};
  for (std::uint8_t key : keys) figure.note_on(0, 0, key, 100).note_off(480, 0, key);
  figure.end();
  MidiBuilder file;
  for (int t = 1; t <= 10; ++t) {
    if (t == 1 || t == 2 || t == 10) {
      file.track(figure);
    } else {
      file.track(TrackBuilder().end());
    }
  }
  const MidiImport import = import_ok(file.bytes());
  std::vector<std::string> motifs;
  for (const auto& entry : import.document.sections.motifs.entries) motifs.push_back(entry.name);
  EXPECT_EQ(motifs, (std::vector<std::string>{"midi_track10_motif1", "midi_track1_motif1",
                                              "midi_track2_motif1"}));
  EXPECT_EQ(entry_names(import), (std::vector<std::string>{"Track 1", "Track 2", "Track 10"}));
  const song::Layer& last = layer(import, 2);
  ASSERT_EQ(last.motif_instances.size(), 2u);
  EXPECT_EQ(last.motif_instances[0].motif, "midi_track10_motif1");
  EXPECT_EQ(last.motif_instances[0].start, 0.0f);
  EXPECT_EQ(last.motif_instances[0].transpose, 0.0f);
  EXPECT_EQ(last.motif_instances[0].sound, "piano");
  EXPECT_EQ(last.motif_instances[1].start, 4.0f);
  EXPECT_EQ(last.motif_instances[1].transpose, 12.0f);
  const auto& notes = import.document.sections.motifs.entries[0].value.notes;
  ASSERT_EQ(notes.size(), 4u);
  EXPECT_EQ(notes[3].pitch, 2.0f);
  EXPECT_EQ(notes[3].sound, "");
}

}  // namespace
