// Layer bodies: directive line, notes sorted by start, placements with their
// override and trim lines.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "tracksmith/track/multisong/track_sections.hpp"

using namespace tracksmith;

namespace {

using song::Layer;
using song::Note;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

Note note(const char* sound, float start, float pitch, float length) {
  Note n;
  n.sound = sound;
  n.start = start;
  n.pitch = pitch;
  n.final_segment = song::NoteSegment{0.0f, length, true, true};
  return n;
}

std::string body(const Layer& layer) {
  std::string out;
  track::multisong::serialize_layer(layer, out);
  return out;
}

// The first token of every line: the sound names of a body of plain notes.
std::vector<std::string> sounds(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) result.push_back(line.substr(0, line.find(' ')));
  return result;
}

TEST(LayerBody, WorkedExample) {
  Layer layer;
  layer.volume = 0.8f;
  layer.pan = -0.5f;
  layer.effects = {song::effect::Lowpass{1200}};
  // Stored out of time order; the writer sorts a view only.
  layer.notes = {note("piano", 1, -5, 0.5f), note("piano", 0, -9, 1)};
  song::MotifInstance m;
  m.motif = "midi_track1_motif1";
  m.start = 4;
  m.sound = "piano";
  m.transpose = 12;
  song::NoteOverride skip;
  skip.note = 2;
  skip.skip = true;
  m.overrides = {skip};
  m.trim = song::Trim{1, 3};
  layer.motif_instances = {m};
  song::SubtrackInstance s;
  s.subtrack = "drums";
  s.start = 0;
  s.sound = "kit";
  layer.subtrack_instances = {s};

  EXPECT_EQ(body(layer),
            "@volume 0.8 @pan -0.5 @effect lowpass 1200\n"
            "piano 0 -9 1\n"
            "piano 1 -5 0.5\n"
            "motif midi_track1_motif1 4 piano transpose 12\n"
            "  note 2 skip\n"
            "  trim 1 3\n"
            "subtrack drums 0 kit\n");
  EXPECT_EQ(layer.notes[0].start, 1.0f);
}

TEST(LayerBody, DefaultLayerIsEmpty) { EXPECT_EQ(body(Layer{}), ""); }

TEST(LayerBody, OnlyEffects) {
  Layer layer;
  layer.effects = {song::effect::Echo{0.25f, 0.5f, 0.3f}};
  EXPECT_EQ(body(layer), "@effect echo 0.25 0.5 0.3\n");
}

TEST(LayerBody, NotesSortStablyUnderTheTotalOrder) {
  struct Case {
    const char* name;
    std::vector<Note> notes;
    std::vector<std::string> order;
  };
  const Case cases[] = {
      {"equal starts keep list order",
       {note("b", 1, 0, 1), note("a", 1, 0, 1), note("c", 0.5f, 0, 1), note("d", 1, 0, 1)},
       {"c", "b", "a", "d"}},
      {"-0 before +0",
       {note("pos", 0.0f, 0, 1), note("neg", -0.0f, 0, 1)},
       {"neg", "pos"}},
      {"NaN after +inf, -NaN before -inf",
       {note("nan", kNaN, 0, 1), note("inf", kInf, 0, 1), note("ninf", -kInf, 0, 1),
        note("nnan", -kNaN, 0, 1), note("zero", 0, 0, 1), note("neg", -2, 0, 1),
        note("big", 1e30f, 0, 1)},
       {"nnan", "ninf", "neg", "zero", "big", "inf", "nan"}},
      {"negatives by value", {note("m1", -1, 0, 1), note("m3", -3, 0, 1), note("m2", -2, 0, 1)},
       {"m3", "m2", "m1"}},
      {"in order but for the last note",
       {note("a", 0, 0, 1), note("b", 1, 0, 1), note("c", 1, 0, 1), note("d", 2, 0, 1),
        note("e", 1, 0, 1)},
       {"a", "b", "c", "e", "d"}},
      {"already in order", {note("a", -1, 0, 1), note("b", -0.0f, 0, 1), note("c", 0, 0, 1)},
       {"a", "b", "c"}},
  };
  for (const auto& c : cases) {
    Layer layer;
    layer.notes = c.notes;
    EXPECT_EQ(sounds(body(layer)), c.order) << c.name;
  }
}

// Large layers take another sorting path; it must order exactly like a
// stable comparison sort under the total order (here checked against one on
// 5,000 notes with many equal starts, signed zeros, infinities and NaNs).
TEST(LayerBody, LargeLayersSortLikeAStableSort) {
  const float specials[] = {0.0f, -0.0f, kInf, -kInf, kNaN, -kNaN, 1e-45f, -1e-45f, 3e38f};
  Layer layer;
  std::uint32_t state = 7;
  for (int i = 0; i < 5000; ++i) {
    state = state * 1103515245u + 12345u;
    const std::uint32_t r = state >> 8;
    const float start = r % 10 == 0 ? specials[(r / 10) % 9]
                                    : static_cast<float>(static_cast<int>(r % 400) - 200) * 0.25f;
    std::string name = "n";
    name += std::to_string(i);
    layer.notes.push_back(note(name.c_str(), start, 0, 1));
  }
  auto key = [](const Note& n) {
    const auto bits = std::bit_cast<std::int32_t>(n.start);
    return bits < 0 ? bits ^ INT32_MAX : bits;
  };
  std::vector<const Note*> reference;
  for (const Note& n : layer.notes) reference.push_back(&n);
  std::stable_sort(reference.begin(), reference.end(),
                   [&](const Note* a, const Note* b) { return key(*a) < key(*b); });
  std::vector<std::string> expected;
  for (const Note* n : reference) expected.push_back(n->sound.str());
  EXPECT_EQ(sounds(body(layer)), expected);
}

TEST(LayerBody, PlacementsWithOverridesAndTrims) {
  Layer layer;
  song::MotifInstance m;
  m.motif = "m1";
  m.start = 8;
  m.sound = "";
  song::NoteOverride first;
  first.note = 0;
  first.pitch = 2;
  song::NoteOverride second;
  second.note = 4;
  second.text = "oh";
  m.overrides = {first, second};
  m.trim = song::Trim{1, 3};
  song::MotifInstance bare;
  bare.motif = "m2";
  bare.start = 0.5f;
  bare.sound = "bell";
  layer.motif_instances = {m, bare};
  song::SubtrackInstance s;
  s.subtrack = "fills";
  s.start = 16;
  s.overrides = {second};
  s.trim = song::Trim{0, 18446744073709551615u};
  layer.subtrack_instances = {s};
  EXPECT_EQ(body(layer),
            "motif m1 8 \n"
            "  note 0 pitch 2\n"
            "  note 4 text \"oh\"\n"
            "  trim 1 3\n"
            "motif m2 0.5 bell\n"
            "subtrack fills 16\n"
            "  note 4 text \"oh\"\n"
            "  trim 0 18446744073709551615\n");
}

}  // namespace
