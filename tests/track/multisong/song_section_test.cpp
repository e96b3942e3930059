// Song bodies, jump clauses and song positions; every float of a song is
// shortest decimal text.

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "tracksmith/track/multisong/track_sections.hpp"
#include "tracksmith/track/serialize/writers.hpp"

using namespace tracksmith;

namespace {

using track::multisong::Comparison;
using track::multisong::Jump;
using track::multisong::JumpAt;
using track::multisong::JumpCondition;
using track::multisong::Song;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::string body(const Song& song) {
  std::string out;
  track::multisong::serialize_song(song, out);
  return out;
}

TEST(SongBody, FilledSong) {
  Song song;
  song.tempo = 96;
  song.tempo_ratio = 1.5f;
  song.signature_numerator = 3;
  song.seed = 7;
  song.params["energy"] = 0.5f;
  song.length = 64;
  song.layers = {"lead", "bass"};
  song.markers = {{"chorus", 16}};
  Jump jump;
  jump.target = "chorus";
  jump.offset = 2;
  jump.tempo_change = track::multisong::tempo_change::Ratio{1.5f};
  jump.via = Jump::Via{"fill", "crash"};
  jump.condition = JumpCondition{track::multisong::subject::Plays{}, Comparison::Less, 3};
  song.jumps = {jump};
  Jump timed;
  timed.target = "intro";
  timed.condition = JumpCondition{track::multisong::subject::Random{}, Comparison::GreaterEqual, 0.25f};
  song.jump_ats = {JumpAt{timed, track::multisong::position::Time{32}}};
  EXPECT_EQ(body(song),
            "@tempo 96 144\n"
            "@signature 3 4\n"
            "@seed 7\n"
            "@param energy 0.5\n"
            "@length 64\n"
            "@layer lead\n"
            "@layer bass\n"
            "@marker 16 chorus\n"
            "@jump chorus 2 tempo \xC3\x97"
            "1.5 via fill sound crash if plays < 3\n"
            "@jump-at 32 intro if random >= 0.25\n");
}

TEST(SongBody, TempoLine) {
  struct Case {
    const char* name;
    void (*set)(Song&);
    const char* expected;
  };
  const Case cases[] = {
      {"default", [](Song&) {}, "@tempo 120\n"},
      {"ratio 0.5", [](Song& s) { s.tempo = 100; s.tempo_ratio = 0.5f; }, "@tempo 100 50\n"},
      {"ratio 1+2^-23", [](Song& s) { s.tempo_ratio = 1.0000001f; }, "@tempo 120\n"},
      {"ratio 1+2^-22 in float",
       [](Song& s) {
         s.tempo = 2;
         s.tempo_ratio = 1.0000002f;
       },
       "@tempo 2 2.0000005\n"},
      {"ratio NaN", [](Song& s) { s.tempo_ratio = kNaN; }, "@tempo 120\n"},
      {"tempo -0", [](Song& s) { s.tempo = -0.0f; }, "@tempo -0\n"},
      {"param scale 1",
       [](Song& s) {
         s.tempo = 90;
         s.tempo_ratio = 2;
         s.tempo_param = song::ParamScale{"speed", 1};
       },
       "@tempo param speed\n"},
      {"param scale 2", [](Song& s) { s.tempo_param = song::ParamScale{"speed", 2}; },
       "@tempo param speed 2\n"},
      {"param scale NaN", [](Song& s) { s.tempo_param = song::ParamScale{"speed", kNaN}; },
       "@tempo param speed\n"},
  };
  for (const auto& c : cases) {
    Song song;
    c.set(song);
    EXPECT_EQ(body(song), c.expected) << c.name;
  }
}

TEST(SongBody, OptionalLines) {
  struct Case {
    const char* name;
    void (*set)(Song&);
    const char* expected;
  };
  const Case cases[] = {
      {"4/8", [](Song& s) { s.signature_denominator = 8; }, "@tempo 120\n@signature 4 8\n"},
      {"6/4", [](Song& s) { s.signature_numerator = 6; }, "@tempo 120\n@signature 6 4\n"},
      {"seed 0", [](Song& s) { s.seed = 0; }, "@tempo 120\n@seed 0\n"},
      {"seed max", [](Song& s) { s.seed = 4294967295u; }, "@tempo 120\n@seed 4294967295\n"},
      {"params byte-wise",
       [](Song& s) {
         s.params["b"] = 1;
         s.params["a"] = -0.0f;
         s.params["B"] = 0.125f;
       },
       "@tempo 120\n@param B 0.125\n@param a -0\n@param b 1\n"},
      {"length -0", [](Song& s) { s.length = -0.0f; }, "@tempo 120\n@length -0\n"},
      {"marker time first", [](Song& s) { s.markers = {{"a b", 2.5f}, {"c", 0}}; },
       "@tempo 120\n@marker 2.5 a b\n@marker 0 c\n"},
      {"marker jump-at",
       [](Song& s) {
         Jump j;
         j.target = "intro";
         s.jump_ats = {JumpAt{j, track::multisong::position::MarkerName{"chorus"}}};
       },
       "@tempo 120\n@jump-at chorus intro\n"},
  };
  for (const auto& c : cases) {
    Song song;
    c.set(song);
    EXPECT_EQ(body(song), c.expected) << c.name;
  }
}

JumpCondition condition(track::multisong::ConditionSubject subject, Comparison comparison, float value) {
  return JumpCondition{std::move(subject), comparison, value};
}

TEST(JumpClauses, EachClauseAndCondition) {
  using track::multisong::subject::Param;
  using track::multisong::subject::Plays;
  using track::multisong::subject::Random;
  struct Case {
    Jump jump;
    const char* expected;
  };
  auto with = [](auto set) {
    Jump j;
    j.target = "x";
    set(j);
    return j;
  };
  const Case cases[] = {
      {with([](Jump&) {}), "@jump x"},
      {with([](Jump& j) { j.offset = -0.0f; }), "@jump x"},
      {with([](Jump& j) { j.offset = kNaN; }), "@jump x NaN"},
      {with([](Jump& j) { j.offset = 0.5f; }), "@jump x 0.5"},
      {with([](Jump& j) { j.tempo_change = track::multisong::tempo_change::Absolute{140}; }),
       "@jump x tempo 140"},
      {with([](Jump& j) { j.tempo_change = track::multisong::tempo_change::Ratio{0.5f}; }),
       "@jump x tempo \xC3\x97"
       "0.5"},
      {with([](Jump& j) { j.via = Jump::Via{"", ""}; }), "@jump x via  sound "},
      {with([](Jump& j) { j.condition = condition(Plays{}, Comparison::Less, 2.9f); }),
       "@jump x if plays < 2"},
      {with([](Jump& j) { j.condition = condition(Plays{}, Comparison::Less, -1); }),
       "@jump x if plays < 0"},
      {with([](Jump& j) { j.condition = condition(Plays{}, Comparison::Less, kNaN); }),
       "@jump x if plays < 0"},
      {with([](Jump& j) { j.condition = condition(Plays{}, Comparison::Less, 4294967040.0f); }),
       "@jump x if plays < 4294967040"},
      {with([](Jump& j) { j.condition = condition(Plays{}, Comparison::Less, 4294967296.0f); }),
       "@jump x if plays < 4294967295"},
      {with([](Jump& j) { j.condition = condition(Plays{}, Comparison::Less, 1e20f); }),
       "@jump x if plays < 4294967295"},
      {with([](Jump& j) { j.condition = condition(Random{}, Comparison::GreaterEqual, 0.25f); }),
       "@jump x if random >= 0.25"},
      {with([](Jump& j) { j.condition = condition(Param{"energy"}, Comparison::Equal, 1); }),
       "@jump x if energy == 1"},
      {with([](Jump& j) { j.condition = condition(Param{"e"}, Comparison::LessEqual, -0.0f); }),
       "@jump x if e <= -0"},
      {with([](Jump& j) { j.condition = condition(Param{"e"}, Comparison::Greater, 2); }),
       "@jump x if e > 2"},
      {with([](Jump& j) { j.condition = condition(Param{"e"}, Comparison::NotEqual, 0.75f); }),
       "@jump x if e != 0.75"},
  };
  for (const auto& c : cases) {
    std::string text = "@jump x";
    track::multisong::append_jump_clauses(text, c.jump);
    EXPECT_EQ(text, c.expected);
  }
}

TEST(SongPosition, MarkerNameOrShortestTime) {
  EXPECT_EQ(track::multisong::position_text(track::multisong::position::Time{1.5f}), "1.5");
  EXPECT_EQ(track::multisong::position_text(track::multisong::position::Time{-0.0f}), "-0");
  EXPECT_EQ(track::multisong::position_text(track::multisong::position::Time{32}), "32");
  EXPECT_EQ(track::multisong::position_text(track::multisong::position::MarkerName{"chorus"}), "chorus");
  EXPECT_EQ(track::multisong::position_text(track::multisong::position::MarkerName{""}), "");
}

}  // namespace
