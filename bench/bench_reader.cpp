// Throughput of the reader on a generated 16-track file of 200,000 notes a
// track (about 27 MB): smf::parse with fresh event lists, and the import's
// way of framing once and decoding each track into one reused buffer.

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

// The way the import reads: frame once, then decode track after track into
// one reused event buffer (no fresh memory per track).
void BM_FrameAndDecodeReused(benchmark::State& state) {
  const auto& bytes = large_file();
  smf::Track track;
  for (auto _ : state) {
    auto framing = smf::frame(bytes);
    if (!framing) {
      state.SkipWithError(framing.error().message.c_str());
      break;
    }
    for (const smf::TrackChunk& chunk : framing->chunks) {
      smf::decode_track(chunk, track);
      benchmark::DoNotOptimize(track.events.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_FrameAndDecodeReused)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
