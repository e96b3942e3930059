// Motif extraction: figures that a track plays at least twice (also
// transposed) move into motif entries, and the layer keeps placements of
// them instead of their notes. Greedy, longest figures first, left to right.
//
// A motif's notes carry no sound: each placement names the one sound that
// plays all of them. So only a figure played by a single sound can become a
// motif; a window that mixes sounds (a drum pattern of kick, snare and
// hi-hat, two instruments sharing a track) stays in the layer note by note,
// where every note keeps its own sound.
//
// The search used by the import indexes the windows of each length by a hash
// of their normalised notes, so that a window is only ever compared with the
// windows that can equal it; the tests hold the plain scan it must agree
// with.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "tracksmith/song/note/layer.hpp"
#include "tracksmith/song/note/note.hpp"
#include "detail/motif_scan.hpp"
#include "tracksmith/track/midi/import.hpp"

namespace tracksmith::track::midi {
namespace detail {
namespace {

// Every field of a note except `start` and `pitch`, which window matching
// compares relative to the window's first note instead.
bool same_apart_from_position(const song::Note& a, const song::Note& b) {
  return a.shape() == b.shape();
}

template <class T>
void stable_sort_by_start_key(std::vector<T>& items) {
  const auto before = [](const T& x, const T& y) {
    return song::total_order_key(x.start) < song::total_order_key(y.start);
  };
  // Placements found at one window length only are in order already; the
  // sort would still take a buffer of its own.
  if (std::is_sorted(items.begin(), items.end(), before)) return;
  std::stable_sort(items.begin(), items.end(), before);
}

// What the scan carries from one window length to the next.
struct ScanState {
  ScanState(std::vector<std::uint8_t>& used_buffer, std::size_t count) : used(used_buffer) {
    used.assign(count, 0);
  }

  std::vector<std::uint8_t>& used;  // 1 once the note belongs to an occurrence
  std::uint32_t motif_counter = 0;
  std::size_t used_count = 0;  // notes that belong to an occurrence
  std::vector<song::MotifInstance> instances;
};

bool window_free(const std::vector<std::uint8_t>& used, std::size_t at, std::size_t length) {
  for (std::size_t k = 0; k < length; ++k) {
    if (used[at + k] != 0) return false;
  }
  return true;
}

// Turns the occurrences at `positions` (ascending, the first being the
// reference window) into one motif entry and its placements.
void make_motif(const std::vector<song::Note>& notes, const std::vector<std::size_t>& positions,
                std::size_t length, std::uint32_t track_number, MotifTable& table,
                ScanState& state) {
  ++state.motif_counter;
  std::string name = "midi_track" + std::to_string(track_number) + "_motif" +
                     std::to_string(state.motif_counter);
  const std::size_t first = positions.front();
  const float base_pitch = notes[first].pitch;
  const float base_start = notes[first].start;
  const std::string_view sound{notes[first].sound};

  // The placements copy the name before the table takes it, and their list
  // grows by doubling at least: six allocations for a motif placed twice
  // instead of eight. On the motif-8 crafted file (21,977 tracks of two
  // placements of one motif) this function took 54 million instructions
  // instead of 67 million (one thread).
  if (state.instances.capacity() < state.instances.size() + positions.size()) {
    state.instances.reserve(std::max(state.instances.size() + positions.size(), 2 * state.instances.capacity()));
  }
  for (std::size_t p : positions) {
    for (std::size_t k = 0; k < length; ++k) state.used[p + k] = 1;
    state.used_count += length;
    song::MotifInstance& instance = state.instances.emplace_back();
    instance.motif = name;
    instance.sound = sound;
    instance.start = notes[p].start;
    instance.transpose = notes[p].pitch - base_pitch;
  }

  std::vector<song::Note> motif_notes(notes.begin() + static_cast<std::ptrdiff_t>(first),
                                      notes.begin() + static_cast<std::ptrdiff_t>(first + length));
  for (song::Note& note : motif_notes) {
    note.sound.clear();
    note.pitch -= base_pitch;
    note.start -= base_start;
  }
  table.insert_or_assign(std::move(name), std::move(motif_notes));
}

MotifResult finish_scan(std::vector<song::Note> notes, ScanState& state) {
  MotifResult result;
  result.notes.reserve(static_cast<std::size_t>(std::count(state.used.begin(), state.used.end(), 0)));
  for (std::size_t k = 0; k < notes.size(); ++k) {
    if (state.used[k] == 0) result.notes.push_back(std::move(notes[k]));
  }
  stable_sort_by_start_key(state.instances);
  result.instances = std::move(state.instances);
  return result;
}

// ---- Window hashing -------------------------------------------------------
//
// Two windows that match must hash alike, so every value enters the hash in
// the form that equality sees: floats by numeric value (both zeros as one),
// lists with their sizes. A NaN makes a window unmatchable, as does a change
// of sound inside it; such windows are flagged and kept out of the index
// instead of being hashed.

constexpr std::uint64_t mix(std::uint64_t x) noexcept {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  x ^= x >> 31;
  return x;
}

// The bits of a non-NaN float as equality sees it: +0 for both zeros; every
// other value has a single bit pattern.
constexpr std::uint32_t float_hash_bits(float value) noexcept {
  return value == 0.0f ? 0u : std::bit_cast<std::uint32_t>(value);
}

// Values enter by a rotate, xor and multiply each, and the whole is mixed
// once at the end: a hash only picks the candidates that the full comparison
// then confirms. On the motif-8 crafted file (21,977 tracks of 8 notes) a
// full mix per value took 83 ms of CPU against 78 ms this way (medians of
// three alternating sets of ten runs).
class Hasher {
 public:
  void add(std::uint64_t value) noexcept {
    state_ = (std::rotl(state_, 23) ^ value) * 0x9e3779b97f4a7c15ULL;
  }

  void add(float value) noexcept {
    if (value != value) nan_ = true;
    add(std::uint64_t{float_hash_bits(value)});
  }

  void add(bool value) noexcept { add(std::uint64_t{value ? 1u : 0u}); }

  void add(std::uint32_t value) noexcept { add(std::uint64_t{value}); }

  void add(const common::CompactText& text) noexcept { add(std::string_view{text}); }

  template <class T>
  void add(const common::CompactList<T>& items) noexcept {
    add_list(items.span());
  }

  void add(std::string_view text) noexcept {
    add(std::uint64_t{text.size()});
    std::uint64_t word = 0;
    std::size_t filled = 0;
    for (const char c : text) {
      word = (word << 8) | static_cast<unsigned char>(c);
      if (++filled == 8) {
        add(word);
        word = 0;
        filled = 0;
      }
    }
    if (filled != 0) add(word);
  }

  void add(const song::NoteSegment& segment) noexcept {
    add(segment.pitch_delta);
    add(segment.duration);
    add(segment.ease_in);
    add(segment.ease_out);
  }

  void add(const song::WavePoint& point) noexcept {
    add(point.time);
    add(point.value);
    add(point.ease_in);
    add(point.ease_out);
  }

  template <class T>
  void add_list(std::span<const T> items) noexcept {
    add(std::uint64_t{items.size()});
    for (const T& item : items) add(item);
  }

  std::uint64_t value() const noexcept { return mix(state_); }
  bool saw_nan() const noexcept { return nan_; }

 private:
  std::uint64_t state_ = 0x243f6a8885a308d3ULL;
  bool nan_ = false;
};

// Hash of the fields that `same_apart_from_position` compares.
struct NoteKey {
  std::uint64_t hash = 0;
  bool has_nan = false;
};

NoteKey note_key(const song::Note& note) {
  Hasher h;
  std::apply([&h](const auto&... field) { (h.add(field), ...); }, note.shape());
  return NoteKey{h.value(), h.saw_nan()};
}

constexpr std::uint32_t no_window = std::numeric_limits<std::uint32_t>::max();

// The shortest figure that can become a motif.
constexpr std::size_t kShortestWindow = 4;

}  // namespace

// The indexed scan's buffers: set up once per track and reused for every
// window length, and kept by the caller from one track to the next.
struct MotifScratch::Buffers {
  std::vector<NoteKey> keys;
  // The hash of the first L notes of the window at i, for every i and every
  // L from the shortest to the longest length: a window's hash extends that
  // of the shorter window at the same start, so each start is hashed once
  // for all lengths. A row per length, [(L - shortest) * notes + i], so that
  // chaining the windows of one length reads its hashes in order: with a
  // row per start instead, each read fell on a cache line of its own, and
  // the real file keep_on_rolling.mid (53 kB, openttd-openmsx) took 3.49 ms
  // of CPU instead of 3.31 ms (medians of 15 alternating rounds of 10 runs)
  // and 19.6 million instructions instead of 18.9 million (one thread).
  std::vector<std::uint64_t> prefix_hash;
  // For each start, how many notes from it can be matched at all: the first
  // note whose normalised fields hold a NaN, or whose sound differs from
  // the start's, ends every window through it.
  std::vector<std::uint32_t> matchable_run;
  // For each start, the longest length at which its window may match
  // another (see find_reach), and [L]: the starts that reach L.
  std::vector<std::uint32_t> reach;
  std::vector<std::uint32_t> windows_at_least;
  std::vector<std::uint32_t> candidates;
  std::size_t longest = 0;
  // Open-addressing table from window hash to the last window seen with it.
  std::vector<std::uint64_t> slot_hash;
  std::vector<std::uint32_t> slot_last;
  // Next later window of the same hash, or no_window; windows that can match
  // nothing are in no chain.
  std::vector<std::uint32_t> next;
  std::vector<std::uint32_t> starts;
  // The scan's own: which notes belong to an occurrence, and the
  // occurrences of the window being matched.
  std::vector<std::uint8_t> used;
  std::vector<std::size_t> positions;

  // Hashes the windows of a track that may match another, every length up
  // to `longest_length`, and counts them per length.
  void hash_windows(const std::vector<song::Note>& notes, std::size_t longest_length) {
    longest = longest_length;
    const std::size_t n = notes.size();
    keys.clear();
    bool finite = true;
    for (const song::Note& note : notes) {
      keys.push_back(note_key(note));
      finite = finite && std::isfinite(note.start) && std::isfinite(note.pitch);
    }
    matchable_run.resize(n);
    if (finite) {
      // No difference of finite values is NaN, so a run ends only at a note
      // whose own fields hold one or whose sound differs from the one
      // before: each note is tested once instead of in every window. With
      // the lengths of fewer than two windows skipped as well, this took
      // keep_on_rolling.mid (53 kB, openttd-openmsx) from 17.8 to 16.3
      // million instructions (one thread) and from 3.30 ms to 3.05 ms of
      // CPU (medians of 15 alternating rounds of 10 runs).
      std::uint32_t run = 0;
      for (std::size_t i = n; i-- > 0;) {
        const bool continues = i + 1 < n && notes[i + 1].sound == notes[i].sound;
        run = keys[i].has_nan ? 0 : 1 + (continues ? run : 0);
        matchable_run[i] = static_cast<std::uint32_t>(std::min<std::size_t>(run, longest));
      }
    } else {
      for (std::size_t i = 0; i < n; ++i) {
        std::size_t k = 0;
        for (; k < longest && i + k < n; ++k) {
          const float start = notes[i + k].start - notes[i].start;
          const float pitch = notes[i + k].pitch - notes[i].pitch;
          if (keys[i + k].has_nan || start != start || pitch != pitch) break;
          if (k > 0 && notes[i + k].sound != notes[i].sound) break;
        }
        matchable_run[i] = static_cast<std::uint32_t>(k);
      }
    }
    const std::size_t slots = std::bit_ceil(std::max<std::size_t>(2 * n, 16));
    slot_hash.resize(slots);
    slot_last.resize(slots);
    next.resize(n);
    prefix_hash.resize(n * (longest >= kShortestWindow ? longest - kShortestWindow + 1 : 0));
    find_reach(notes);
    // How many windows may match another at each length: a length with
    // fewer than two is skipped whole.
    windows_at_least.assign(longest + 2, 0);
    for (const std::uint32_t most : reach) ++windows_at_least[most];
    for (std::size_t length = longest; length-- > 0;) windows_at_least[length] += windows_at_least[length + 1];
  }

  // Sets reach[i], the longest length at which the window at i shares its
  // hash with another window (0 when it shares none at the shortest), and
  // the hashes of every window that reach allows. Two windows that match
  // at one length match, and so hash alike, at every shorter one, so the
  // windows are hashed one length at a time and only those that shared the
  // last length go on to the next. While most windows keep sharing, telling
  // them apart costs more than it saves: the rest are then hashed through
  // their matchable run and kept to its end. Against chaining every
  // matchable window at every length, the 54 small real files of the tests
  // took 385.8 million instructions instead of 423.3 million (tttheme2.mid,
  // 46 kB, openttd-openmsx: 10.2 instead of 15.8 million) and 0.166 s
  // instead of 0.174 s, one process each (medians of 30 alternating
  // rounds); the crafted motif-1500 file, where nearly every window keeps
  // sharing, 459 million instead of 446 million (one thread).
  void find_reach(const std::vector<song::Note>& notes) {
    const std::size_t n = notes.size();
    reach.assign(n, 0);
    candidates.clear();
    for (std::size_t i = 0; i < n; ++i) {
      if (matchable_run[i] >= kShortestWindow) candidates.push_back(static_cast<std::uint32_t>(i));
    }
    // Normalised exactly as window matching computes it: 32-bit float
    // differences to the window's first note.
    const auto extend = [&](std::uint64_t hash, std::size_t i, std::size_t k) {
      const float start = notes[i + k].start - notes[i].start;
      const float pitch = notes[i + k].pitch - notes[i].pitch;
      const std::uint64_t position = (std::uint64_t{float_hash_bits(start)} << 32) | float_hash_bits(pitch);
      // A multiply-add chain: far shorter per note than a full mix, and
      // the note keys are well mixed already; the table mixes the result.
      return hash * 0x9e3779b97f4a7c15ULL + (keys[i + k].hash ^ (position * 0xc2b2ae3d27d4eb4fULL));
    };
    for (const std::uint32_t i : candidates) {
      std::uint64_t hash = 0x243f6a8885a308d3ULL;
      for (std::size_t k = 0; k < kShortestWindow; ++k) hash = extend(hash, i, k);
      prefix_hash[i] = hash;
    }
    // A track of 8 or 9 notes tries one length only, whose chaining tells
    // as much: it is not sifted first (the crafted motif-8 file, 21,977
    // such tracks: 413.3 million instructions instead of 420.9 million).
    if (longest == kShortestWindow) {
      for (const std::uint32_t i : candidates) reach[i] = matchable_run[i];
      return;
    }
    for (std::size_t length = kShortestWindow;; ++length) {
      std::uint64_t* const row = prefix_hash.data() + (length - kShortestWindow) * n;
      const std::size_t before = candidates.size();
      keep_shared(row, length);
      if (length == longest || candidates.empty()) return;
      if (10 * candidates.size() >= 9 * before) break;
      std::size_t kept = 0;
      for (const std::uint32_t i : candidates) {
        if (matchable_run[i] <= length) continue;
        row[n + i] = extend(row[i], i, length);
        candidates[kept++] = i;
      }
      candidates.resize(kept);
    }
    for (const std::uint32_t i : candidates) {
      std::uint64_t hash = prefix_hash[(reach[i] - kShortestWindow) * n + i];
      for (std::size_t k = reach[i]; k < matchable_run[i]; ++k) {
        hash = extend(hash, i, k);
        prefix_hash[(k + 1 - kShortestWindow) * n + i] = hash;
      }
      reach[i] = matchable_run[i];
    }
  }

  // Keeps the candidates whose hash in `row` another candidate shares, and
  // raises their reach to `length`.
  void keep_shared(const std::uint64_t* row, std::size_t length) {
    const std::size_t slots = std::bit_ceil(std::max<std::size_t>(2 * candidates.size(), 16));
    const std::size_t mask = slots - 1;
    std::fill_n(slot_last.begin(), slots, 0);  // here a count per hash
    const auto slot_of = [&](std::uint64_t hash) {
      std::size_t slot = mix(hash) & mask;
      while (slot_last[slot] != 0 && slot_hash[slot] != hash) slot = (slot + 1) & mask;
      return slot;
    };
    for (const std::uint32_t i : candidates) {
      const std::size_t slot = slot_of(row[i]);
      slot_hash[slot] = row[i];
      ++slot_last[slot];
    }
    std::size_t kept = 0;
    for (const std::uint32_t i : candidates) {
      if (slot_last[slot_of(row[i])] < 2) continue;
      reach[i] = static_cast<std::uint32_t>(length);
      candidates[kept++] = i;
    }
    candidates.resize(kept);
  }

  // Chains the windows of `length` notes by hash, in ascending index order:
  // windows are visited in that order and each is linked after the last one
  // seen with its hash; `starts` lists the chained ones. Returns false,
  // chaining nothing, when fewer notes are free than two windows need
  // (`used_count` notes are used).
  //
  // A window holding a note that belongs to an occurrence already stays out
  // of every chain, as notes only ever become used: it can match nothing at
  // this length. With the table sized to match, this took keep_on_rolling.mid
  // (53 kB, openttd-openmsx) from 18.9 to 17.8 million instructions (one
  // thread). The used notes are counted as the window slides, in the one
  // pass that chains: against a pass for the free runs, one to count the
  // chained windows and one to chain them, keep_on_rolling.mid took 15.9
  // million instructions instead of 16.3 million, and the motif-1500 crafted
  // file 481 million instead of 508 million and 0.087 s of CPU instead of
  // 0.100 s (medians of 11 alternating runs).
  bool build(std::size_t length, std::size_t used_count) {
    const std::size_t n = matchable_run.size();
    if (n - used_count < 2 * length) return false;
    // No more windows are chained than are matchable, nor than start at a
    // free note.
    const std::size_t most = std::min<std::size_t>(windows_at_least[length], n - used_count);
    const std::size_t slots = std::bit_ceil(std::max<std::size_t>(2 * most, 16));
    const std::size_t mask = slots - 1;
    std::fill_n(slot_last.begin(), slots, no_window);
    const std::uint64_t* const hashes = prefix_hash.data() + (length - kShortestWindow) * n;
    const std::size_t count = n - length + 1;
    starts.clear();
    // The used notes of the window at i, but for its last.
    std::size_t used_before_last = 0;
    if (used_count != 0) {
      for (std::size_t k = 0; k + 1 < length; ++k) used_before_last += used[k];
    }
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t used_in_window = used_before_last + used[i + length - 1];
      used_before_last = used_in_window - used[i];
      next[i] = no_window;
      if (reach[i] < length || used_in_window != 0) continue;
      starts.push_back(static_cast<std::uint32_t>(i));
      const std::uint64_t hash = hashes[i];
      std::size_t slot = mix(hash) & mask;
      while (slot_last[slot] != no_window && slot_hash[slot] != hash) slot = (slot + 1) & mask;
      if (slot_last[slot] != no_window) {
        next[slot_last[slot]] = static_cast<std::uint32_t>(i);
      } else {
        slot_hash[slot] = hash;
      }
      slot_last[slot] = static_cast<std::uint32_t>(i);
    }
    return true;
  }
};

MotifScratch::MotifScratch() : buffers_(std::make_unique<Buffers>()) {}
MotifScratch::~MotifScratch() = default;

void stable_sort_by_start(std::vector<song::Note>& notes) {
  // Notes are finished in the order of their ends, which is their start
  // order in most tracks: those need no sorting at all.
  if (song::starts_in_order(notes)) return;
  // Ordering indices and then moving each note once is much cheaper than a
  // merge sort that moves whole notes around.
  std::vector<song::Note> result;
  result.reserve(notes.size());
  for (const std::uint32_t index : song::order_by_start(notes)) {
    result.push_back(std::move(notes[index]));
  }
  notes = std::move(result);
}

namespace {

// True when the windows of `length` notes at `a` and `b` hold equal notes
// once each note's start and pitch are taken relative to the first note of
// its own window. Floats compare numerically (NaN never matches).
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

// The longest window length tried for `count` notes: 16 from 32 notes on,
// otherwise half the count (rounded down).
std::size_t longest_window(std::size_t count) noexcept { return count >= 32 ? 16 : count / 2; }

}  // namespace

MotifResult scan_motifs_indexed(std::vector<song::Note> notes, std::uint32_t track_number,
                                MotifTable& table) {
  MotifScratch scratch;
  return scan_motifs_indexed(std::move(notes), track_number, table, scratch);
}

MotifResult scan_motifs_indexed(std::vector<song::Note> notes, std::uint32_t track_number,
                                MotifTable& table, MotifScratch& scratch) {
  const std::size_t n = notes.size();
  MotifScratch::Buffers& index = scratch.buffers();
  ScanState state(index.used, n);
  std::vector<std::size_t>& positions = index.positions;
  index.hash_windows(notes, longest_window(n));

  for (std::size_t length = longest_window(n); length >= kShortestWindow; --length) {
    if (index.windows_at_least[length] < 2 || !index.build(length, state.used_count)) continue;
    // Windows are taken left to right; one that overlaps the occurrence
    // just taken is passed over.
    std::size_t resume = 0;
    for (const std::size_t i : index.starts) {
      if (i < resume || !window_free(state.used, i, length)) continue;
      // Every window that matches the one at i shares its hash, so only its
      // later chain members are candidates. They are taken exactly as the
      // plain scan takes them: left to right, free, not overlapping the
      // previous occurrence, confirmed by the full comparison. Members that
      // are no longer free stay so for this length and leave the chain.
      positions.assign(1, i);
      std::uint32_t* link = &index.next[i];
      while (*link != no_window) {
        const std::size_t j = *link;
        if (!window_free(state.used, j, length)) {
          *link = index.next[j];
          continue;
        }
        if (j >= positions.back() + length && windows_match(notes, i, j, length)) {
          positions.push_back(j);
        }
        link = &index.next[j];
      }
      if (positions.size() < 2) continue;
      make_motif(notes, positions, length, track_number, table, state);
      resume = i + length;
    }
  }
  return finish_scan(std::move(notes), state);
}

MotifResult extract_motifs(std::vector<song::Note> notes, std::uint32_t track_number,
                           MotifTable& table, MotifScratch& scratch) {
  stable_sort_by_start(notes);
  return scan_motifs_indexed(std::move(notes), track_number, table, scratch);
}

}  // namespace detail

MotifResult extract_motifs(std::vector<song::Note> notes, std::uint32_t track_number,
                           MotifTable& table) {
  detail::MotifScratch scratch;
  return detail::extract_motifs(std::move(notes), track_number, table, scratch);
}

}  // namespace tracksmith::track::midi