// Instrument assignment: picks the standard-library sound that plays a note
// from its channel, key, track name and channel program.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "detail/note_parts.hpp"
#include "tracksmith/track/midi/import.hpp"

namespace tracksmith::track::midi {
namespace {

// The sounds of the standard instrument library. A track whose whole name
// (ASCII case folded) is one of these plays every melodic note with it.
constexpr std::array<std::string_view, 41> STANDARD_SOUNDS = {
    "lead",     "marimba", "glock",    "pluck",   "pad",      "bass",     "drone",
    "reed",     "flute",   "sax",      "piano",   "panflute", "horn",     "strings",
    "timpani",  "pulse1",  "pulse2",   "tri_bass", "blip",    "arp",      "lead_saw",
    "noise_hit", "kick",   "tom",      "snare",   "clap",     "rim",      "hihat",
    "openhat",  "pulse",   "grit",     "stab",    "razor",    "ping",     "boom",
    "riser",    "koto",    "shamisen", "shaku",   "furin",    "taiko"};

// A run of numbers from `first` to `last` inclusive that share one sound.
struct Range {
  std::uint8_t first;
  std::uint8_t last;
  std::string_view sound;
};

// General MIDI percussion keys; every key not listed is a hi-hat.
constexpr std::array<Range, 30> DRUM_MAP = {{
    {35, 36, "kick"},    {37, 37, "rim"},     {38, 38, "snare"},   {39, 39, "clap"},
    {40, 40, "snare"},   {41, 41, "tom"},     {42, 42, "hihat"},   {43, 43, "tom"},
    {44, 44, "hihat"},   {45, 45, "tom"},     {46, 46, "openhat"}, {47, 48, "tom"},
    {49, 49, "openhat"}, {50, 50, "tom"},     {51, 52, "openhat"}, {53, 53, "rim"},
    {54, 54, "hihat"},   {55, 55, "openhat"}, {56, 56, "rim"},     {57, 57, "openhat"},
    {58, 58, "rim"},     {59, 59, "openhat"}, {60, 64, "tom"},     {65, 68, "rim"},
    {69, 74, "hihat"},   {75, 77, "rim"},     {78, 79, "tom"},     {80, 81, "openhat"},
    {0, 34, "hihat"},    {82, 127, "hihat"},
}};

// General MIDI programs, covering 0 to 127 without gaps.
constexpr std::array<Range, 50> PROGRAM_MAP = {{
    {0, 5, "piano"},       {6, 7, "pluck"},      {8, 10, "glock"},    {11, 13, "marimba"},
    {14, 14, "glock"},     {15, 15, "koto"},     {16, 19, "drone"},   {20, 23, "reed"},
    {24, 29, "pluck"},     {30, 30, "drone"},    {31, 31, "glock"},   {32, 37, "bass"},
    {38, 39, "tri_bass"},  {40, 45, "strings"},  {46, 46, "pluck"},   {47, 47, "timpani"},
    {48, 49, "strings"},   {50, 54, "pad"},      {55, 55, "boom"},    {56, 61, "horn"},
    {62, 63, "lead"},      {64, 67, "sax"},      {68, 71, "reed"},    {72, 74, "flute"},
    {75, 75, "panflute"},  {76, 76, "flute"},    {77, 77, "shaku"},   {78, 79, "panflute"},
    {80, 80, "pulse1"},    {81, 81, "lead_saw"}, {82, 87, "lead"},    {88, 95, "pad"},
    {96, 103, "drone"},    {104, 105, "pluck"},  {106, 106, "shamisen"}, {107, 107, "koto"},
    {108, 108, "marimba"}, {109, 109, "drone"},  {110, 110, "strings"}, {111, 111, "reed"},
    {112, 112, "glock"},   {113, 113, "rim"},    {114, 114, "marimba"}, {115, 115, "rim"},
    {116, 116, "taiko"},   {117, 117, "tom"},    {118, 118, "boom"},  {119, 119, "openhat"},
    {120, 127, "noise_hit"}, {128, 255, "noise_hit"},
}};

// Every byte value's sound, expanded from a range map once at compile time:
// the import asks for millions of notes.
template <std::size_t N>
constexpr std::array<std::string_view, 256> expand(const std::array<Range, N>& map,
                                                   std::string_view fallback) {
  std::array<std::string_view, 256> table{};
  for (auto& sound : table) sound = fallback;
  // Later ranges never overlap earlier ones; the catch-all ranges come last.
  for (std::size_t i = N; i-- > 0;) {
    for (unsigned n = map[i].first; n <= map[i].last; ++n) table[n] = map[i].sound;
  }
  return table;
}

constexpr auto DRUM_TABLE = expand(DRUM_MAP, "hihat");
constexpr auto PROGRAM_TABLE = expand(PROGRAM_MAP, "noise_hit");

// The standard names are 3 to 9 bytes long; most track names are not.
constexpr std::size_t kShortestSound = 3;
constexpr std::size_t kLongestSound = 9;

// The standard sounds grouped by length, so that a track name is compared
// with those of its own length only: the crafted tiny-tracks file (65,535
// named one-note tracks) took 326.3 million instructions instead of 343.7
// million (one thread).
struct SoundsByLength {
  std::array<std::array<std::string_view, STANDARD_SOUNDS.size()>, kLongestSound + 1> names{};
  std::array<std::size_t, kLongestSound + 1> count{};
};

constexpr SoundsByLength group_by_length() {
  SoundsByLength groups;
  for (const std::string_view sound : STANDARD_SOUNDS) {
    groups.names[sound.size()][groups.count[sound.size()]++] = sound;
  }
  return groups;
}

constexpr SoundsByLength SOUNDS_BY_LENGTH = group_by_length();
static_assert(std::all_of(STANDARD_SOUNDS.begin(), STANDARD_SOUNDS.end(), [](std::string_view sound) {
  return sound.size() >= kShortestSound && sound.size() <= kLongestSound;
}));

}  // namespace

namespace detail {

std::optional<std::string_view> sound_named(std::string_view track_name) {
  if (track_name.size() < kShortestSound || track_name.size() > kLongestSound) return std::nullopt;
  const auto& same_length = SOUNDS_BY_LENGTH.names[track_name.size()];
  for (std::size_t k = 0; k < SOUNDS_BY_LENGTH.count[track_name.size()]; ++k) {
    const std::string_view standard = same_length[k];
    const bool same = std::equal(standard.begin(), standard.end(), track_name.begin(),
                                 [](char s, char t) {
                                   const char folded =
                                       (t >= 'A' && t <= 'Z') ? static_cast<char>(t - 'A' + 'a') : t;
                                   return s == folded;
                                 });
    if (same) return standard;
  }
  return std::nullopt;
}

std::string_view choose_sound_for(std::uint8_t channel, std::uint8_t key,
                                  std::optional<std::string_view> named, std::uint8_t program) {
  if (channel == 9) return DRUM_TABLE[key];
  if (named) return *named;
  // Programs above 127 cannot come from a MIDI file; they fall in with the
  // last General MIDI group rather than being an error.
  return PROGRAM_TABLE[program];
}

}  // namespace detail

std::string_view choose_sound(std::uint8_t channel, std::uint8_t key,
                              const std::optional<std::string>& track_name,
                              std::uint8_t program) {
  std::optional<std::string_view> named;
  if (channel != 9 && track_name) named = detail::sound_named(*track_name);
  return detail::choose_sound_for(channel, key, named, program);
}

}  // namespace tracksmith::track::midi