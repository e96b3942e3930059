#include "tracksmith/header_format/meta/meta.hpp"

#include <string_view>

#include "tracksmith/header_format/document.hpp"

namespace tracksmith::header_format {

void serialize(const Meta& meta, std::string& out) {
  if (!meta.title && !meta.author && !meta.description && meta.tags.empty()) return;
  separate(out);
  out += "# Meta\n";
  if (meta.title || meta.author) {
    out += '\n';
    if (meta.title) {
      out += "@title ";
      out += *meta.title;
      out += '\n';
    }
    if (meta.author) {
      out += "@author ";
      out += *meta.author;
      out += '\n';
    }
  }
  if (meta.description) {
    separate(out);
    out += "## Description\n\n";
    // Every "\n" ends a line and the text after the last one is a line of
    // its own, even when empty; a "\r" stays part of its line.
    std::string_view rest = *meta.description;
    for (std::size_t end = rest.find('\n'); end != std::string_view::npos; end = rest.find('\n')) {
      out += rest.substr(0, end);
      out += '\n';
      rest.remove_prefix(end + 1);
    }
    out += rest;
    out += '\n';
  }
  if (!meta.tags.empty()) {
    separate(out);
    out += "## Tags\n\n";
    for (const std::string& tag : meta.tags) {
      out += tag;
      out += '\n';
    }
  }
}

}  // namespace tracksmith::header_format