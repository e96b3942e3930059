#pragma once
// The motif search written the plain way, as the oracle the import's
// indexed search must agree with: for each window length from the longest
// down to 4, left to right, a free window of one sound takes every later
// free, non-overlapping window that plays it again (also transposed).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tracksmith/song/note/note.hpp"
#include "tracksmith/track/midi/import.hpp"

namespace tracksmith::testutil {

inline track::midi::MotifResult scan_motifs_plain(std::vector<song::Note> notes,
                                                  std::uint32_t track_number,
                                                  track::midi::MotifTable& table) {
  const std::size_t n = notes.size();
  std::vector<bool> used(n, false);
  const auto free = [&](std::size_t at, std::size_t length) {
    return std::none_of(used.begin() + static_cast<std::ptrdiff_t>(at),
                        used.begin() + static_cast<std::ptrdiff_t>(at + length), [](bool u) { return u; });
  };
  const auto one_sound = [&](std::size_t at, std::size_t length) {
    for (std::size_t k = 1; k < length; ++k) {
      if (notes[at + k].sound != notes[at].sound) return false;
    }
    return true;
  };
  const auto match = [&](std::size_t a, std::size_t b, std::size_t length) {
    for (std::size_t k = 0; k < length; ++k) {
      const song::Note& x = notes[a + k];
      const song::Note& y = notes[b + k];
      if (x.start - notes[a].start != y.start - notes[b].start) return false;
      if (x.pitch - notes[a].pitch != y.pitch - notes[b].pitch) return false;
      if (x.shape() != y.shape()) return false;
    }
    return true;
  };

  track::midi::MotifResult result;
  std::uint32_t motifs = 0;
  for (std::size_t length = n >= 32 ? 16 : n / 2; length >= 4; --length) {
    std::size_t i = 0;
    while (i + length <= n) {
      if (!free(i, length) || !one_sound(i, length)) {
        ++i;
        continue;
      }
      std::vector<std::size_t> positions{i};
      for (std::size_t j = i + length; j + length <= n;) {
        if (free(j, length) && match(i, j, length)) {
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
      const std::string name = "midi_track" + std::to_string(track_number) + "_motif" + std::to_string(++motifs);
      std::vector<song::Note> figure(notes.begin() + static_cast<std::ptrdiff_t>(i),
                                     notes.begin() + static_cast<std::ptrdiff_t>(i + length));
      for (song::Note& note : figure) {
        note.sound.clear();
        note.pitch -= notes[i].pitch;
        note.start -= notes[i].start;
      }
      table.insert_or_assign(name, std::move(figure));
      for (const std::size_t p : positions) {
        std::fill(used.begin() + static_cast<std::ptrdiff_t>(p),
                  used.begin() + static_cast<std::ptrdiff_t>(p + length), true);
        song::MotifInstance instance;
        instance.motif = name;
        instance.sound = notes[i].sound.str();
        instance.start = notes[p].start;
        instance.transpose = notes[p].pitch - notes[i].pitch;
        result.instances.push_back(std::move(instance));
      }
      i += length;
    }
  }
  for (std::size_t k = 0; k < n; ++k) {
    if (!used[k]) result.notes.push_back(std::move(notes[k]));
  }
  std::stable_sort(result.instances.begin(), result.instances.end(), [](const auto& x, const auto& y) {
    return song::total_order_key(x.start) < song::total_order_key(y.start);
  });
  return result;
}

}  // namespace tracksmith::testutil