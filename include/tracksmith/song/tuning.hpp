#pragma once
// Tunings (scales as frequency ratios) and waves (breakpoint curves).

#include <vector>

#include "tracksmith/song/note/note.hpp"

namespace tracksmith::song {

/// A scale as frequency ratios: an entry of the "# Tunings" section.
struct Tuning {
  std::vector<float> ratios;  ///< ratio of each step; equal temperament: 2^(i/n)
  float period = 2.0f;        ///< ratio after which the scale repeats
};

/// A breakpoint curve: an entry of the "# Waves" section.
struct Wave {
  std::vector<WavePoint> points;
};

}  // namespace tracksmith::song