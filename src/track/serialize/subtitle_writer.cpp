#include <string>

#include "tracksmith/track/serialize/number_text.hpp"
#include "tracksmith/track/serialize/writers.hpp"

namespace tracksmith::track::serialize {

void write_subtitle_line(std::string& out, const song::Subtitle& subtitle) {
  append_number(out, subtitle.time);
  if (!subtitle.text.empty()) {
    out += ' ';
    out += subtitle.text;
  }
  out += '\n';
}

}  // namespace tracksmith::track::serialize