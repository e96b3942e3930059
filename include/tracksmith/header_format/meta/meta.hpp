#pragma once
// The meta header of a document: title, author, description and tags.

#include <optional>
#include <string>
#include <vector>

namespace tracksmith::header_format {

/// The document's meta header; an empty one writes nothing.
struct Meta {
  std::optional<std::string> title;
  std::optional<std::string> author;
  std::optional<std::string> description;  ///< may hold several lines split by "\n"
  std::vector<std::string> tags;
};

/// Appends the "# Meta" block, or nothing when every field is absent or empty.
void serialize(const Meta& meta, std::string& out);

}  // namespace tracksmith::header_format