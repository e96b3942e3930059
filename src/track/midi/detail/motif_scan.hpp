#pragma once
// Building blocks of motif extraction: the sort by start and the
// hash-indexed greedy scan that the import uses.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tracksmith/song/note/note.hpp"
#include "tracksmith/track/midi/import.hpp"

namespace tracksmith::track::midi::detail {

/// Sorts notes by start under the total order, keeping the order of equal starts.
void stable_sort_by_start(std::vector<song::Note>& notes);

/// The greedy scan over notes sorted by start: for each window length from
/// longest_window() down to 4, left to right, a free window of one sound
/// takes every later free, non-overlapping window that matches it. Adds the
/// motifs to `table` and returns the uncovered notes and the placements
/// (sorted). Each window is compared only with the later windows whose
/// normalised notes hash alike: about n * L work per window length L
/// instead of the plain scan's n * n * L.
MotifResult scan_motifs_indexed(std::vector<song::Note> sorted_notes,
                                std::uint32_t track_number, MotifTable& table);

}  // namespace tracksmith::track::midi::detail