#include <string>

#include "track/serialize/number_text.hpp"
#include "track/serialize/writers.hpp"

namespace track {

void write_subtitle_line(std::string& out, const song::Subtitle& subtitle) {
  append_number(out, subtitle.time);
  if (!subtitle.text.empty()) {
    out += ' ';
    out += subtitle.text;
  }
  out += '\n';
}

}  // namespace track
