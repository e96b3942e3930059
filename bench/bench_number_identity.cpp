// Byte identity and speed of the number texts against the frozen reference
// copy in number_text_reference.hpp.
//
//   bench_number_identity --exhaustive   every one of the 2^32 float bit
//       patterns through append_shortest and append_number, each function on
//       its own thread; prints the mismatch counts and exits 1 on any.
//   bench_number_identity [benchmark flags]   the reference and the library
//       side by side on a note-line mix of starts, pitches, lengths, volumes;
//       and the same mix with a NumberTextMemo serving lengths and volumes.

#include <benchmark/benchmark.h>

#include <cmath>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "number_bench.hpp"
#include "number_text_reference.hpp"
#include "track/serialize/number_text.hpp"

namespace {

using Append = void (*)(std::string&, float);

struct Sweep {
  const char* name;
  Append library;
  Append reference;
  std::uint64_t mismatches = 0;
};

// Writes blocks of consecutive bit patterns with both functions and compares
// the blocks; only a differing block is gone through value by value.
void sweep_all(Sweep& sweep) {
  constexpr std::uint64_t kBlock = 1u << 12;
  constexpr std::uint64_t kAll = std::uint64_t{1} << 32;
  std::string library;
  std::string reference;
  for (std::uint64_t first = 0; first < kAll; first += kBlock) {
    library.clear();
    reference.clear();
    for (std::uint64_t bits = first; bits < first + kBlock; ++bits) {
      const float value = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
      sweep.library(library, value);
      library += ' ';
      sweep.reference(reference, value);
      reference += ' ';
    }
    if (library == reference) continue;
    for (std::uint64_t bits = first; bits < first + kBlock; ++bits) {
      const float value = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
      std::string a;
      std::string b;
      sweep.library(a, value);
      sweep.reference(b, value);
      if (a == b) continue;
      if (++sweep.mismatches <= 10) {
        std::printf("%s 0x%08x: library \"%s\", reference \"%s\"\n", sweep.name,
                    static_cast<unsigned>(bits), a.c_str(), b.c_str());
      }
    }
  }
}

int run_exhaustive() {
  Sweep shortest{"append_shortest", track::append_shortest, number_reference::append_shortest};
  Sweep number{"append_number", track::append_number, number_reference::append_number};
  std::thread other([&shortest] { sweep_all(shortest); });
  sweep_all(number);
  other.join();
  for (const Sweep* sweep : {&shortest, &number}) {
    std::printf("%s: %llu mismatches in 4294967296 bit patterns\n", sweep->name,
                static_cast<unsigned long long>(sweep->mismatches));
  }
  return shortest.mismatches == 0 && number.mismatches == 0 ? 0 : 1;
}

// What a note line writes: a start on a sixteenth grid (mostly distinct),
// a pitch, a length from a few note values and a volume from a velocity.
std::vector<float> note_mix() {
  std::vector<float> values;
  bench::Lcg next(2024);
  float start = 0.0f;
  for (int i = 0; i < 4096; ++i) {
    start += static_cast<float>(next() % 16) * 0.0625f;
    values.push_back(start);
    values.push_back(static_cast<float>(static_cast<int>(next() % 60) - 30));
    values.push_back(static_cast<float>(1u << (next() % 5)) * 0.125f);
    // Two decimals of the velocity fraction, as the import makes them.
    values.push_back(std::round(static_cast<float>(next() % 128) / 127.0f * 100.0f) / 100.0f);
  }
  return values;
}

void write_mix(benchmark::State& state, Append append) { bench::write_values(state, note_mix(), append); }

void BM_ReferenceNumberMix(benchmark::State& state) { write_mix(state, number_reference::append_number); }
BENCHMARK(BM_ReferenceNumberMix);
void BM_NumberMix(benchmark::State& state) { write_mix(state, track::append_number); }
BENCHMARK(BM_NumberMix);
void BM_ReferenceShortestMix(benchmark::State& state) { write_mix(state, number_reference::append_shortest); }
BENCHMARK(BM_ReferenceShortestMix);
void BM_ShortestMix(benchmark::State& state) { write_mix(state, track::append_shortest); }
BENCHMARK(BM_ShortestMix);

// The note-line mix as a writer holding a memo would write it: starts and
// pitches directly, lengths and volumes (few distinct values) through the memo.
void write_mix_with_memo(benchmark::State& state, bool use_memo) {
  const std::vector<float> values = note_mix();
  std::string out;
  out.reserve(values.size() * 16);
  track::NumberTextMemo memo;
  for (auto _ : state) {
    out.clear();
    for (std::size_t i = 0; i < values.size(); i += 4) {
      track::append_number(out, values[i]);
      out += ' ';
      track::append_number(out, values[i + 1]);
      out += ' ';
      for (std::size_t k = i + 2; k < i + 4; ++k) {
        if (use_memo) {
          memo.append_number(out, values[k]);
        } else {
          track::append_number(out, values[k]);
        }
        out += ' ';
      }
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}

void BM_NumberMixWithoutMemo(benchmark::State& state) { write_mix_with_memo(state, false); }
BENCHMARK(BM_NumberMixWithoutMemo);
void BM_NumberMixWithMemo(benchmark::State& state) { write_mix_with_memo(state, true); }
BENCHMARK(BM_NumberMixWithMemo);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--exhaustive") == 0) return run_exhaustive();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
