#pragma once
// Tunings (scales as frequency ratios) and waves (breakpoint curves).

#include <vector>

#include "tracksmith/song/note/note.hpp"

namespace tracksmith::song {

struct Tuning {
  std::vector<float> ratios;  ///< ratio of each step; equal temperament: 2^(i/n)
  float period = 2.0f;        ///< ratio after which the scale repeats
};

struct Wave {
  std::vector<WavePoint> points;
};

}  // namespace tracksmith::song