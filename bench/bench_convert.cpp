// Benchmarks of the conversion after reading: the import (note pairing,
// note building, motif extraction), the document writers, and the two number
// texts on a realistic mix of values.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tracksmith/header_format/document.hpp"
#include "midi_generator.hpp"
#include "number_bench.hpp"
#include "tracksmith/track/midi/import.hpp"
#include "tracksmith/track/serialize/number_text.hpp"
#include "tracksmith/track/serialize/writers.hpp"

using namespace tracksmith;

namespace {

std::vector<std::uint8_t> generated(std::uint16_t tracks, std::uint32_t notes, double repeat_share,
                                    bool bends, bool sustain) {
  bench::GeneratorOptions o;
  o.tracks = tracks;
  o.notes_per_track = notes;
  o.repeat_share = repeat_share;
  o.bends = bends;
  o.sustain = sustain;
  o.seed = 7;
  return bench::generate_midi(o);
}

const std::vector<std::uint8_t>& large_file() {
  static const auto bytes = generated(16, 200000, 0.3, false, false);
  return bytes;
}

const std::vector<std::uint8_t>& figures_file() {
  static const auto bytes = generated(64, 1500, 0.9, true, true);
  return bytes;
}

const std::vector<std::uint8_t>& random_file() {
  static const auto bytes = generated(32, 1500, 0.0, false, false);
  return bytes;
}

void import_file(benchmark::State& state, const std::vector<std::uint8_t>& bytes,
                 std::int64_t notes) {
  for (auto _ : state) {
    auto result = track::midi::song_from_midi(bytes);
    if (!result) {
      state.SkipWithError(result.error().text().c_str());
      break;
    }
    benchmark::DoNotOptimize(result->document.sections.layers.entries.data());
  }
  state.SetItemsProcessed(state.iterations() * notes);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

// Note pairing and building on 3.2 million notes (tracks too long for motifs).
void BM_ImportLarge(benchmark::State& state) { import_file(state, large_file(), 16 * 200000); }
BENCHMARK(BM_ImportLarge)->Unit(benchmark::kMillisecond)->UseRealTime();

// 64 tracks of repeated figures with bends and pedal: motif extraction dominates.
void BM_ImportFigures(benchmark::State& state) { import_file(state, figures_file(), 64 * 1500); }
BENCHMARK(BM_ImportFigures)->Unit(benchmark::kMillisecond)->UseRealTime();

// 32 tracks in which no figure repeats: every window length is searched in vain.
void BM_ImportRandom(benchmark::State& state) { import_file(state, random_file(), 32 * 1500); }
BENCHMARK(BM_ImportRandom)->Unit(benchmark::kMillisecond)->UseRealTime();

void write_file(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
  auto result = track::midi::song_from_midi(bytes);
  if (!result) {
    state.SkipWithError(result.error().text().c_str());
    return;
  }
  std::size_t size = 0;
  for (auto _ : state) {
    std::string out;
    header_format::write_document(result->document, out);
    size = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

// The whole document writer (layers sorted and written, songs, motifs).
void BM_WriteLarge(benchmark::State& state) { write_file(state, large_file()); }
BENCHMARK(BM_WriteLarge)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteFigures(benchmark::State& state) { write_file(state, figures_file()); }
BENCHMARK(BM_WriteFigures)->Unit(benchmark::kMillisecond)->UseRealTime();

song::Note bent_note() {
  song::Note note;
  note.sound = "lead_saw";
  note.start = 12.5f;
  note.pitch = -7.0f;
  note.volume = 0.79f;
  note.segments = {{0.5f, 0.0f, false, false}, {0.0f, 0.25f, true, true}};
  note.final_segment = {-0.5f, 0.75f, false, false};
  return note;
}

// One writer at a time, on typical entries.
void BM_FormatNote(benchmark::State& state) {
  song::Note plain;
  plain.sound = "piano";
  plain.start = 12.5f;
  plain.pitch = -9.0f;
  plain.final_segment.duration = 0.25f;
  plain.volume = 0.79f;
  const song::Note bent = bent_note();
  for (auto _ : state) {
    benchmark::DoNotOptimize(track::serialize::format_note(plain));
    benchmark::DoNotOptimize(track::serialize::format_note(bent));
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_FormatNote);

void BM_FormatPlacementsAndSound(benchmark::State& state) {
  song::MotifInstance motif;
  motif.motif = "midi_track3_motif12";
  motif.sound = "bass";
  motif.start = 96.0f;
  motif.transpose = -5.0f;
  song::Sound sound;
  sound.oscillators = {{"saw", 0.5f, 1.0f, 0.0f}, {"pulse", 1.0f, 2.0f, 0.25f}};
  sound.attack = {0.01f, false, false};
  sound.vibrato = {"", 5.0f, 0.2f};
  sound.filter_cutoff = 800.0f;
  sound.filter_target = 200.0f;
  sound.filter_sweep = {0.5f, false, true};
  track::multisong::Jump jump;
  jump.target = "chorus";
  jump.offset = 2.0f;
  jump.tempo_change = track::multisong::tempo_change::Ratio{1.5f};
  jump.condition = track::multisong::JumpCondition{track::multisong::subject::Plays{}, track::multisong::Comparison::Less, 3.0f};
  for (auto _ : state) {
    benchmark::DoNotOptimize(track::serialize::format_motif_instance(motif));
    benchmark::DoNotOptimize(track::serialize::format_sound(sound));
    std::string line = "@jump chorus";
    track::multisong::append_jump_clauses(line, jump);
    benchmark::DoNotOptimize(line);
  }
}
BENCHMARK(BM_FormatPlacementsAndSound);

// A realistic mix of note starts, pitches, lengths and volumes.
std::vector<float> number_mix() {
  std::vector<float> values;
  bench::Lcg next(12345);
  for (int i = 0; i < 4096; ++i) {
    values.push_back(static_cast<float>(next() % 20000) / 480.0f * 4.0f);   // starts
    values.push_back(static_cast<float>(static_cast<int>(next() % 88) - 48));  // pitches
    values.push_back(static_cast<float>(1u << (next() % 5)) * 0.125f);       // lengths
    values.push_back(static_cast<float>(next() % 101) / 100.0f);              // volumes
  }
  return values;
}

// Writes the mix with one of the two number texts, items = numbers.
void write_numbers(benchmark::State& state, void (*append)(std::string&, float)) {
  bench::write_values(state, number_mix(), append);
}

void BM_NumberText(benchmark::State& state) { write_numbers(state, track::serialize::append_number); }
BENCHMARK(BM_NumberText);

void BM_ShortestText(benchmark::State& state) { write_numbers(state, track::serialize::append_shortest); }
BENCHMARK(BM_ShortestText);

}  // namespace

BENCHMARK_MAIN();
