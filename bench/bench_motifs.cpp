// Motif extraction on 1,500-note tracks (the largest that the import
// searches), for the hash-indexed scan that the import uses and for the plain
// quadratic scan it replaced:
//   Typical:   figures of 4 to 12 notes repeated, transposed, between random notes;
//   Random:    no figure of 4 notes repeats;
//   EndBreak:  identical notes but for a unique volume on every 16th note, so
//              aligned windows of 16 match on all but their last note;
//   NoRepeat:  identical pitch-bent notes whose volumes follow a sequence in
//              which no 4 consecutive values repeat: nothing matches at any
//              length, and every comparison walks the bend segments.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tracksmith/song/note/note.hpp"
#include "testutil/random.hpp"
#include "testutil/motif_oracle.hpp"
#include "track/midi/detail/motif_scan.hpp"
#include "tracksmith/track/midi/import.hpp"

using namespace tracksmith;

namespace {

using song::Note;
namespace detail = track::midi::detail;

constexpr std::size_t kNotes = 1500;


Note plain_note(float start, float pitch, float volume, float length) {
  Note note;
  note.sound = "piano";
  note.start = start;
  note.pitch = pitch;
  note.volume = volume;
  note.final_segment = song::NoteSegment{0.0f, length, true, true};
  return note;
}

std::vector<Note> typical_track() {
  testutil::SplitMix64 rng(7);
  std::vector<std::vector<Note>> figures(8);
  for (auto& figure : figures) {
    const std::size_t length = 4 + rng.below(9);
    for (std::size_t k = 0; k < length; ++k) {
      // One draw per statement: argument order must not change the track.
      const auto pitch = static_cast<float>(rng.below(12));
      const float volume = 0.5f + 0.1f * static_cast<float>(rng.below(3));
      figure.push_back(plain_note(0.5f * static_cast<float>(k), pitch, volume, 0.5f));
    }
  }
  std::vector<Note> notes;
  float time = 0.0f;
  while (notes.size() < kNotes) {
    if (rng.below(4) == 0) {
      notes.push_back(plain_note(time, static_cast<float>(rng.below(40)) - 20, 0.8f, 0.25f));
      time += 0.25f;
      continue;
    }
    const auto& figure = figures[rng.below(figures.size())];
    const float transpose = static_cast<float>(rng.below(7)) - 3;
    for (const Note& model : figure) {
      if (notes.size() == kNotes) break;
      notes.push_back(plain_note(time + model.start, model.pitch + transpose, model.volume,
                                 model.final_segment.duration));
    }
    time = notes.back().start + 0.5f;
  }
  return notes;
}

std::vector<Note> random_track() {
  testutil::SplitMix64 rng(11);
  std::vector<Note> notes;
  float time = 0.0f;
  const float steps[] = {0.25f, 0.5f, 0.75f, 1.0f};
  for (std::size_t k = 0; k < kNotes; ++k) {
    const float pitch = static_cast<float>(rng.below(61)) - 30;
    const float volume = 0.05f * static_cast<float>(1 + rng.below(20));
    notes.push_back(plain_note(time, pitch, volume, 0.25f));
    time += steps[rng.below(4)];
  }
  return notes;
}

std::vector<Note> end_break_track() {
  std::vector<Note> notes;
  for (std::size_t k = 0; k < kNotes; ++k) {
    const bool breaker = k % 16 == 15;
    const float volume = breaker ? 0.001f * static_cast<float>(k / 16 + 1) : 0.5f;
    notes.push_back(plain_note(0.5f * static_cast<float>(k), 0.0f, volume, 0.5f));
  }
  return notes;
}

// A de Bruijn sequence over `symbols` symbols of order 4: every 4 consecutive
// values appear once.
std::vector<std::size_t> de_bruijn(std::size_t symbols) {
  std::vector<std::size_t> sequence;
  std::vector<std::size_t> a(symbols * 4 + 1, 0);
  auto step = [&](auto&& self, std::size_t t, std::size_t p) -> void {
    if (t > 4) {
      if (4 % p == 0) {
        sequence.insert(sequence.end(), a.begin() + 1,
                        a.begin() + static_cast<std::ptrdiff_t>(p) + 1);
      }
      return;
    }
    a[t] = a[t - p];
    self(self, t + 1, p);
    for (std::size_t j = a[t - p] + 1; j < symbols; ++j) {
      a[t] = j;
      self(self, t + 1, t);
    }
  };
  step(step, 1, 1);
  return sequence;
}

std::vector<Note> no_repeat_track() {
  const auto volumes = de_bruijn(7);  // 2,401 values
  std::vector<Note> notes;
  for (std::size_t k = 0; k < kNotes; ++k) {
    Note note = plain_note(0.5f * static_cast<float>(k), 0.0f,
                           0.4f + 0.1f * static_cast<float>(volumes[k]), 0.5f);
    // The trajectory of a bend wheel moved back and forth inside the note.
    for (int s = 0; s < 8; ++s) {
      note.segments.push_back(song::NoteSegment{s % 2 == 0 ? 0.5f : -0.5f, 0.0625f, false, false});
    }
    note.final_segment.duration = 0.0f;
    notes.push_back(std::move(note));
  }
  return notes;
}

using Scan = track::midi::MotifResult (*)(std::vector<Note>, std::uint32_t, track::midi::MotifTable&);

void run_scan(benchmark::State& state, const std::vector<Note>& track, Scan scan) {
  std::vector<Note> sorted = track;
  detail::stable_sort_by_start(sorted);
  std::size_t motifs = 0;
  std::size_t left = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<Note> notes = sorted;
    track::midi::MotifTable table;
    state.ResumeTiming();
    auto result = scan(std::move(notes), 1, table);
    benchmark::DoNotOptimize(result.instances.data());
    motifs = table.size();
    left = result.notes.size();
  }
  state.counters["motifs"] = static_cast<double>(motifs);
  state.counters["notes_left"] = static_cast<double>(left);
}

const std::vector<Note>& typical() { static const auto t = typical_track(); return t; }
const std::vector<Note>& random() { static const auto t = random_track(); return t; }
const std::vector<Note>& end_break() { static const auto t = end_break_track(); return t; }
const std::vector<Note>& no_repeat() { static const auto t = no_repeat_track(); return t; }

void BM_Typical_Indexed(benchmark::State& s) { run_scan(s, typical(), detail::scan_motifs_indexed); }
void BM_Typical_Plain(benchmark::State& s) { run_scan(s, typical(), testutil::scan_motifs_plain); }
void BM_Random_Indexed(benchmark::State& s) { run_scan(s, random(), detail::scan_motifs_indexed); }
void BM_Random_Plain(benchmark::State& s) { run_scan(s, random(), testutil::scan_motifs_plain); }
void BM_EndBreak_Indexed(benchmark::State& s) { run_scan(s, end_break(), detail::scan_motifs_indexed); }
void BM_EndBreak_Plain(benchmark::State& s) { run_scan(s, end_break(), testutil::scan_motifs_plain); }
void BM_NoRepeat_Indexed(benchmark::State& s) { run_scan(s, no_repeat(), detail::scan_motifs_indexed); }
void BM_NoRepeat_Plain(benchmark::State& s) { run_scan(s, no_repeat(), testutil::scan_motifs_plain); }

BENCHMARK(BM_Typical_Indexed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Typical_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Random_Indexed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Random_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EndBreak_Indexed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EndBreak_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NoRepeat_Indexed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NoRepeat_Plain)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
