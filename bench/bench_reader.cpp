// Throughput of smf::parse on a generated 16-track file of 200,000 notes a
// track (about 27 MB).

#include <benchmark/benchmark.h>

#include "midi_generator.hpp"
#include "smf/reader.hpp"

namespace {

const std::vector<std::uint8_t>& large_file() {
  static const std::vector<std::uint8_t> bytes = [] {
    bench::GeneratorOptions o;
    o.tracks = 16;
    o.notes_per_track = 200000;
    o.repeat_share = 0.3;
    o.seed = 42;
    return bench::generate_midi(o);
  }();
  return bytes;
}

void BM_ParseLargeFile(benchmark::State& state) {
  const auto& bytes = large_file();
  for (auto _ : state) {
    auto result = smf::parse(bytes);
    if (!result) {
      state.SkipWithError(result.error().message.c_str());
      break;
    }
    benchmark::DoNotOptimize(result->tracks.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes.size()));
  state.counters["file_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_ParseLargeFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
