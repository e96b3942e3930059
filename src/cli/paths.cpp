#include "tracksmith/cli/paths.hpp"

namespace tracksmith::cli {

std::string derive_output_path(std::string_view input) {
  const std::size_t slash = input.rfind('/');
  const std::size_t component = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = input.rfind('.');
  std::string out;
  if (dot != std::string_view::npos && dot > component) {
    out.assign(input.substr(0, dot + 1));
    out += "track";
  } else {
    out.assign(input);
    out += ".track";
  }
  if (out == input) out += ".track";
  return out;
}

}  // namespace tracksmith::cli