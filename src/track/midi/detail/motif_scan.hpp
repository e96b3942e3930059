#pragma once
// Building blocks of motif extraction: the total order of 32-bit floats used
// for every sort by start, window matching on normalised notes, the plain
// greedy scan (quadratic per window length, kept as the reference) and the
// hash-indexed scan that the import uses, which gives the same result.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "song/note/note.hpp"
#include "track/midi/import.hpp"

namespace track::midi::detail {

/// Sorts notes by start under the total order, keeping the order of equal starts.
void stable_sort_by_start(std::vector<song::Note>& notes);

/// True when the windows of `length` notes at `a` and `b` hold equal notes
/// once each note's start and pitch are taken relative to the first note of
/// its own window. Floats compare numerically (NaN never matches).
bool windows_match(const std::vector<song::Note>& notes, std::size_t a, std::size_t b,
                   std::size_t length);

/// The longest window length tried for `count` notes: 16 from 32 notes on,
/// otherwise half the count (rounded down).
std::size_t longest_window(std::size_t count) noexcept;

/// The plain greedy scan over notes already sorted by start. Adds the motifs
/// to `table` and returns the uncovered notes and the placements (sorted).
MotifResult scan_motifs_plain(std::vector<song::Note> sorted_notes, std::uint32_t track_number,
                              MotifTable& table);

/// The same greedy scan with the same result (motifs, names, placements,
/// remaining notes, order), but each window is compared only with the later
/// windows whose normalised notes hash alike: about n * L work per window
/// length L instead of n * n * L.
MotifResult scan_motifs_indexed(std::vector<song::Note> sorted_notes,
                                std::uint32_t track_number, MotifTable& table);

}  // namespace track::midi::detail
