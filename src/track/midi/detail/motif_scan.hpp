#pragma once
// Building blocks of motif extraction: the sort by start and the
// hash-indexed greedy scan that the import uses.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "tracksmith/song/note/note.hpp"
#include "tracksmith/track/midi/import.hpp"

namespace tracksmith::track::midi::detail {

/// The working buffers of the indexed scan. One kept by the caller serves
/// every track it scans, so that a file of many short tracks does not
/// allocate and touch them anew for each; the scan leaves nothing in them
/// that the next one reads.
class MotifScratch {
 public:
  struct Buffers;
  MotifScratch();
  MotifScratch(const MotifScratch&) = delete;
  MotifScratch& operator=(const MotifScratch&) = delete;
  ~MotifScratch();
  Buffers& buffers() noexcept { return *buffers_; }

 private:
  std::unique_ptr<Buffers> buffers_;
};

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
MotifResult scan_motifs_indexed(std::vector<song::Note> sorted_notes,
                                std::uint32_t track_number, MotifTable& table,
                                MotifScratch& scratch);

/// extract_motifs with the caller's buffers.
MotifResult extract_motifs(std::vector<song::Note> notes, std::uint32_t track_number,
                           MotifTable& table, MotifScratch& scratch);

}  // namespace tracksmith::track::midi::detail