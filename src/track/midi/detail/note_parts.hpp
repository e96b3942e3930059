#pragma once
// Pieces of note building that the track scan uses directly: the sound a
// track name selects, resolved once per name instead of once per note, and
// note building from an already chosen sound.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "tracksmith/common/compact_text.hpp"
#include "tracksmith/song/note/note.hpp"
#include "tracksmith/track/midi/import.hpp"

namespace tracksmith::track::midi::detail {

/// The standard sound that a (trimmed) track name names as a whole, after
/// ASCII lower-casing; nothing when it names none. The view points into the
/// static table of standard names, never into `track_name`.
std::optional<std::string_view> sound_named(std::string_view track_name);

/// The sound of a note given the outcome of sound_named for its track. When
/// `named` came from sound_named, the view points into static storage (a drum
/// or program table, or the table of standard names) and may be borrowed.
std::string_view choose_sound_for(std::uint8_t channel, std::uint8_t key,
                                  std::optional<std::string_view> named, std::uint8_t program);

/// build_note with the sound already chosen, into a freshly constructed
/// note (the import builds each note in place in its track's list).
void fill_note(song::Note& note, const common::CompactText& sound, std::uint8_t channel,
               std::uint8_t key, std::uint8_t velocity, std::uint32_t start_tick,
               std::uint32_t end_tick, float ticks_per_beat, std::span<const Bend> bends,
               float start_bend);

}  // namespace tracksmith::track::midi::detail