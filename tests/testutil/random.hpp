#pragma once
// splitmix64: a tiny deterministic random source for tests, benchmarks and
// the file generator; unlike the standard library's distributions it gives
// the same numbers on every platform and compiler.

#include <cstdint>

namespace tracksmith::testutil {

class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  /// Uniform enough in [0, bound) for test data.
  std::uint64_t below(std::uint64_t bound) { return next() % bound; }
  /// True with the given chance in percent.
  bool chance(unsigned percent) { return below(100) < percent; }
  /// In [0, 1), with 53 random bits.
  double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }

 private:
  std::uint64_t state_;
};

}  // namespace tracksmith::testutil