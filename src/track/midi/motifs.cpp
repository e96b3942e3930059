// Motif extraction: figures that a track plays at least twice (also
// transposed) move into motif entries, and the layer keeps placements of
// them instead of their notes. Greedy, longest figures first, left to right.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "song/note/layer.hpp"
#include "song/note/note.hpp"
#include "track/midi/detail/motif_scan.hpp"
#include "track/midi/import.hpp"

namespace track::midi {
namespace detail {
namespace {

// Every field of a note except `start` and `pitch`, which window matching
// compares relative to the window's first note instead.
bool same_apart_from_position(const song::Note& a, const song::Note& b) {
  return a.sound == b.sound && a.segments == b.segments && a.final_segment == b.final_segment &&
         a.volume == b.volume && a.volume_curve == b.volume_curve && a.text == b.text &&
         a.text_apostrophe == b.text_apostrophe && a.arpeggio == b.arpeggio &&
         a.arpeggio_rate == b.arpeggio_rate && a.repeat == b.repeat &&
         a.repeat_alt == b.repeat_alt;
}

template <class T>
void stable_sort_by_start_key(std::vector<T>& items) {
  std::stable_sort(items.begin(), items.end(), [](const T& x, const T& y) {
    return total_order_key(x.start) < total_order_key(y.start);
  });
}

bool window_free(const std::vector<bool>& used, std::size_t at, std::size_t length) {
  for (std::size_t k = 0; k < length; ++k) {
    if (used[at + k]) return false;
  }
  return true;
}

}  // namespace

std::uint32_t total_order_key(float value) noexcept {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  // Negative floats order backwards by magnitude, so their bits are inverted;
  // positive ones move above all negative ones.
  return (bits & 0x80000000u) != 0 ? ~bits : (bits | 0x80000000u);
}

void stable_sort_by_start(std::vector<song::Note>& notes) { stable_sort_by_start_key(notes); }

bool windows_match(const std::vector<song::Note>& notes, std::size_t a, std::size_t b,
                   std::size_t length) {
  const song::Note& first_a = notes[a];
  const song::Note& first_b = notes[b];
  for (std::size_t k = 0; k < length; ++k) {
    const song::Note& x = notes[a + k];
    const song::Note& y = notes[b + k];
    if (x.start - first_a.start != y.start - first_b.start) return false;
    if (x.pitch - first_a.pitch != y.pitch - first_b.pitch) return false;
    if (!same_apart_from_position(x, y)) return false;
  }
  return true;
}

std::size_t longest_window(std::size_t count) noexcept { return count >= 32 ? 16 : count / 2; }

MotifResult scan_motifs_plain(std::vector<song::Note> notes, std::uint32_t track_number,
                              MotifTable& table) {
  const std::size_t n = notes.size();
  std::vector<bool> used(n, false);
  std::uint32_t motif_counter = 0;
  std::vector<song::MotifInstance> instances;

  for (std::size_t length = longest_window(n); length >= 4; --length) {
    std::size_t i = 0;
    while (i + length <= n) {
      if (!window_free(used, i, length)) {
        ++i;
        continue;
      }
      std::vector<std::size_t> positions{i};
      std::size_t j = i + length;
      while (j + length <= n) {
        if (window_free(used, j, length) && windows_match(notes, i, j, length)) {
          positions.push_back(j);
          j += length;
        } else {
          ++j;
        }
      }
      if (positions.size() < 2) {
        ++i;
        continue;
      }

      ++motif_counter;
      std::string name = "midi_track" + std::to_string(track_number) + "_motif" +
                         std::to_string(motif_counter);
      const float base_pitch = notes[i].pitch;
      const float base_start = notes[i].start;
      const std::string sound = notes[i].sound;

      std::vector<song::Note> motif_notes(notes.begin() + static_cast<std::ptrdiff_t>(i),
                                          notes.begin() + static_cast<std::ptrdiff_t>(i + length));
      for (song::Note& note : motif_notes) {
        note.sound.clear();
        note.pitch -= base_pitch;
        note.start -= base_start;
      }
      table.insert_or_assign(name, std::move(motif_notes));

      for (std::size_t p : positions) {
        for (std::size_t k = 0; k < length; ++k) used[p + k] = true;
        song::MotifInstance instance;
        instance.motif = name;
        instance.sound = sound;
        instance.start = notes[p].start;
        instance.transpose = notes[p].pitch - base_pitch;
        instances.push_back(std::move(instance));
      }
      i += length;
    }
  }

  MotifResult result;
  result.notes.reserve(n);
  for (std::size_t k = 0; k < n; ++k) {
    if (!used[k]) result.notes.push_back(std::move(notes[k]));
  }
  stable_sort_by_start_key(instances);
  result.instances = std::move(instances);
  return result;
}

}  // namespace detail

MotifResult extract_motifs(std::vector<song::Note> notes, std::uint32_t track_number,
                           MotifTable& table) {
  detail::stable_sort_by_start(notes);
  return detail::scan_motifs_plain(std::move(notes), track_number, table);
}

}  // namespace track::midi
