#include <string>

#include "tracksmith/track/multisong/track_sections.hpp"
#include "tracksmith/track/serialize/number_text.hpp"

namespace tracksmith::track::multisong {

void serialize_wave(const song::Wave& wave, std::string& out) {
  for (const auto& point : wave.points) {
    serialize::append_number(out, point.time);
    out += ' ';
    serialize::append_number(out, point.value);
    out += song::easing_suffix(point.ease_in, point.ease_out);
    out += '\n';
  }
}

}  // namespace tracksmith::track::multisong