#pragma once
// The loop the number text benchmarks share: a list of values written one
// after another into a reused text, items counted as numbers.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tracksmith::bench {

/// A small deterministic generator for the value mixes: the same numbers on
/// every run and machine, 24 bits per call.
class Lcg {
 public:
  explicit Lcg(std::uint32_t seed) : state_(seed) {}
  std::uint32_t operator()() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }

 private:
  std::uint32_t state_;
};

/// Writes every value with `append` followed by a space, once per iteration.
template <typename Append>
void write_values(benchmark::State& state, const std::vector<float>& values, Append append) {
  std::string out;
  out.reserve(values.size() * 16);
  for (auto _ : state) {
    out.clear();
    for (const float v : values) {
      append(out, v);
      out += ' ';
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}

}  // namespace tracksmith::bench