// Sound choice: drum map, whole-name matches, program map.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tracksmith/track/midi/import.hpp"

using namespace tracksmith;

namespace {

struct Case {
  std::uint8_t channel;
  std::uint8_t key;
  std::optional<std::string> name;
  std::uint8_t program;
  std::string_view expected;
};

TEST(ChooseSound, FollowsDrumMapNameAndProgram) {
  const Case cases[] = {
      // Channel 9 looks at the key only.
      {9, 35, std::nullopt, 0, "kick"},
      {9, 36, std::nullopt, 0, "kick"},
      {9, 37, std::nullopt, 0, "rim"},
      {9, 38, std::nullopt, 0, "snare"},
      {9, 39, std::nullopt, 0, "clap"},
      {9, 42, std::string("Kick"), 0, "hihat"},
      {9, 46, std::nullopt, 0, "openhat"},
      {9, 50, std::nullopt, 40, "tom"},
      {9, 54, std::nullopt, 0, "hihat"},
      {9, 56, std::nullopt, 0, "rim"},
      {9, 59, std::nullopt, 0, "openhat"},
      {9, 61, std::nullopt, 0, "tom"},
      {9, 66, std::nullopt, 0, "rim"},
      {9, 70, std::nullopt, 0, "hihat"},
      {9, 76, std::nullopt, 0, "rim"},
      {9, 79, std::nullopt, 0, "tom"},
      {9, 80, std::nullopt, 0, "openhat"},
      {9, 30, std::nullopt, 0, "hihat"},
      {9, 0, std::nullopt, 0, "hihat"},
      {9, 127, std::nullopt, 0, "hihat"},
      // A whole standard name wins over the program, ASCII case folded.
      {0, 60, std::string("PIANO"), 33, "piano"},
      {0, 60, std::string("Bass"), 0, "bass"},
      {3, 60, std::string("Tri_Bass"), 0, "tri_bass"},
      {0, 60, std::string("Riser"), 0, "riser"},
      {0, 60, std::string("FURIN"), 0, "furin"},
      {0, 60, std::string("Sax"), 0, "sax"},               // the shortest names
      {0, 60, std::string("Noise_Hit"), 0, "noise_hit"},   // and the longest
      // Anything short of a whole match falls through to the program.
      {0, 60, std::string("Bass 1"), 0, "piano"},
      {0, 60, std::string("Slap Bass"), 48, "strings"},
      {0, 60, std::string("Fl\xC3\xB6te"), 73, "flute"},
      {0, 60, std::string("bass "), 0, "piano"},
      {0, 60, std::string(""), 0, "piano"},
      // Program map boundaries.
      {0, 60, std::nullopt, 0, "piano"},
      {0, 60, std::nullopt, 5, "piano"},
      {0, 60, std::nullopt, 6, "pluck"},
      {0, 60, std::nullopt, 14, "glock"},
      {0, 60, std::nullopt, 15, "koto"},
      {0, 60, std::nullopt, 31, "glock"},
      {0, 60, std::nullopt, 37, "bass"},
      {0, 60, std::nullopt, 38, "tri_bass"},
      {0, 60, std::nullopt, 47, "timpani"},
      {0, 60, std::nullopt, 55, "boom"},
      {0, 60, std::nullopt, 63, "lead"},
      {0, 60, std::nullopt, 75, "panflute"},
      {0, 60, std::nullopt, 77, "shaku"},
      {0, 60, std::nullopt, 80, "pulse1"},
      {0, 60, std::nullopt, 81, "lead_saw"},
      {0, 60, std::nullopt, 95, "pad"},
      {0, 60, std::nullopt, 106, "shamisen"},
      {0, 60, std::nullopt, 113, "rim"},
      {0, 60, std::nullopt, 116, "taiko"},
      {0, 60, std::nullopt, 119, "openhat"},
      {0, 60, std::nullopt, 120, "noise_hit"},
      {15, 60, std::nullopt, 127, "noise_hit"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(track::midi::choose_sound(c.channel, c.key, c.name, c.program), c.expected)
        << "channel " << int(c.channel) << " key " << int(c.key) << " name "
        << c.name.value_or("<none>") << " program " << int(c.program);
  }
}

}  // namespace
