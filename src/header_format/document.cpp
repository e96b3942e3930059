#include "tracksmith/header_format/document.hpp"

namespace tracksmith::header_format {

void serialize_instance(std::string& out, const Instance& instance, std::size_t depth) {
  separate(out);
  out.append(depth + 2, '#');
  out += ' ';
  out += instance.name;
  out += '\n';
  for (const std::string& line : instance.lines) {
    out += line;
    out += '\n';
  }
  for (const Instance& child : instance.children) serialize_instance(out, child, depth + 1);
}

void serialize(const UnknownSection& section, std::string& out) {
  separate(out);
  out += "# ";
  out += section.name;
  out += '\n';
  if (!section.lines.empty()) {
    out += '\n';
    for (const std::string& line : section.lines) {
      out += line;
      out += '\n';
    }
  }
  for (const Instance& instance : section.instances) serialize_instance(out, instance, 0);
}

}  // namespace tracksmith::header_format