// Throughput of the reader on a generated 16-track file of 200,000 notes a
// track (about 27 MB): smf::parse with fresh event lists, framing once and
// decoding each track into one reused buffer, and the import's way of
// decoding each track straight into a sink without any event list. The
// import's note scan on top of that sink is measured by bench_convert.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "midi_generator.hpp"
#include "tracksmith/smf/decode.hpp"
#include "tracksmith/smf/reader.hpp"

using namespace tracksmith;

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

// Frame once, then decode track after track into one reused event buffer
// (no fresh memory per track).
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

// Does the least a sink can do with every event: sums the deltas and
// counts the sounding note-ons, so the decoding cannot be optimised away.
struct TickSink {
  std::uint64_t ticks = 0;
  std::uint64_t note_ons = 0;
  bool damaged = false;
  void event(const smf::Event& e) {
    ticks += e.delta;
    note_ons += e.kind == smf::EventKind::NoteOn && e.data2 > 0;
  }
  void damage(std::size_t, std::string) { damaged = true; }
};

// The way the import reads: frame once, then decode every track into a sink
// that consumes each event on the spot (no event list at all).
void BM_FrameAndDecodeToSink(benchmark::State& state) {
  const auto& bytes = large_file();
  for (auto _ : state) {
    auto framing = smf::frame(bytes);
    if (!framing) {
      state.SkipWithError(framing.error().message.c_str());
      break;
    }
    TickSink sink;
    for (const smf::TrackChunk& chunk : framing->chunks) smf::decode_events(chunk, sink);
    benchmark::DoNotOptimize(sink.ticks);
    benchmark::DoNotOptimize(sink.note_ons);
    if (sink.damaged) {
      state.SkipWithError("generated file decoded as damaged");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_FrameAndDecodeToSink)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
