#include <cmath>
#include <cstddef>
#include <string>

#include "tracksmith/track/multisong/track_sections.hpp"
#include "tracksmith/track/serialize/text.hpp"
#include "tracksmith/track/serialize/number_text.hpp"

namespace tracksmith::track::multisong {
namespace {

// Equal temperament is recognised in 32-bit float arithmetic, each ratio
// within a relative 0.00001 of 2^(i/n); a NaN ratio fails.
bool is_equal_tempered(const std::vector<float>& ratios) {
  const auto steps = static_cast<float>(ratios.size());
  for (std::size_t i = 0; i < ratios.size(); ++i) {
    const float expected = std::exp2(static_cast<float>(i) / steps);
    if (!(expected * 0.00001f >= std::fabs(ratios[i] - expected))) return false;
  }
  return true;
}

}  // namespace

void serialize_tuning(const song::Tuning& tuning, std::string& out) {
  // A NaN period fails the test and is treated like the octave.
  if (std::fabs(tuning.period - 2.0f) > serialize::kEpsilon) {
    out += "period ";
    serialize::append_number(out, tuning.period);
    out += '\n';
  } else if (tuning.ratios.size() >= 2 && is_equal_tempered(tuning.ratios)) {
    out += "equal ";
    serialize::append_unsigned(out, tuning.ratios.size());
    out += '\n';
    return;
  }
  serialize::append_number_list(out, tuning.ratios);
  out += '\n';
}

}  // namespace tracksmith::track::multisong