#pragma once
// The sectioned document container: typed section lists of named entries,
// sections kept verbatim, the meta header and the blank-line rule. Generic
// over the section set; it knows nothing of notes or sounds. Everything
// appends to one caller-owned text buffer and nothing here can fail.
// Entry point: write_document().

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tracksmith/header_format/meta/meta.hpp"

namespace tracksmith::header_format {

/// Makes what is written next start after one blank line: appends "\n"
/// unless `out` is empty or already ends with "\n\n".
inline void separate(std::string& out) {
  const std::size_t n = out.size();
  if (n == 0) return;
  if (n >= 2 && out[n - 1] == '\n' && out[n - 2] == '\n') return;
  out.push_back('\n');
}

/// Hands on the finished part of a long document while the rest is written:
/// called after each entry of a section list with the text written so far,
/// less the last bytes that the blank-line rule still reads. It returns how
/// many of its leading bytes it took, from none to all of them, and the
/// writer removes those from `out`. An empty one keeps the whole text.
using Drain = std::function<std::size_t(std::string_view finished)>;

/// The bytes at the end of the text that the blank-line rule reads.
inline constexpr std::size_t kKeptForSeparation = 2;

/// Offers `drain` the finished text of `out` and removes what it took.
inline void hand_over(std::string& out, const Drain& drain) {
  if (out.size() <= kKeptForSeparation) return;
  const std::size_t finished = out.size() - kKeptForSeparation;
  const std::size_t taken = drain(std::string_view(out).substr(0, finished));
  out.erase(0, taken < finished ? taken : finished);
}

/// Appends `body`, text written ahead of time, to `out`. With a drain, it
/// goes from where it stands once the drain has taken all that precedes it:
/// a long body is then never copied. What the drain leaves is copied.
inline void append_written(std::string& out, std::string_view body, const Drain& drain) {
  if (drain) {
    // The body follows, so the blank-line rule reads its end from now on:
    // all of `out` is finished.
    const std::size_t taken = out.empty() ? 0 : drain(out);
    if (taken >= out.size()) {
      out.clear();
      const std::size_t finished = body.size() > kKeptForSeparation ? body.size() - kKeptForSeparation : 0;
      const std::size_t taken_body = finished == 0 ? 0 : drain(body.substr(0, finished));
      body.remove_prefix(taken_body < finished ? taken_body : finished);
    } else {
      out.erase(0, taken);
    }
  }
  out += body;
}

/// The Section interface, specialised for each entry type T:
///   static constexpr std::string_view SECTION_NAME;
///   static void serialize(const T& value, std::string& out);  // entry body
/// An entry type whose bodies can be long may take the drain as a third
/// argument and offer it the finished text on the way.
template <class T>
struct Section;

/// One entry of a section list: its "## " heading name and its value.
template <class T>
struct Named {
  std::string name;
  T value;
};

/// A section: free lines written under its heading, then its named
/// entries, in order.
template <class T>
struct SectionList {
  std::vector<std::string> lines;
  std::vector<Named<T>> entries;
};

/// Appends a whole section list: heading, free lines, then each entry under
/// its own "## " heading. Writes nothing when it has no lines and no entries.
/// `written` may hold, entry by entry, bodies written ahead of time; an entry
/// that has one is written from it instead of from its value.
template <class T>
void serialize(const SectionList<T>& list, std::string& out, const Drain& drain = {},
               std::span<const std::optional<std::string>> written = {}) {
  if (list.lines.empty() && list.entries.empty()) return;
  separate(out);
  out += "# ";
  out += Section<T>::SECTION_NAME;
  out += '\n';
  if (!list.lines.empty()) {
    out += '\n';
    for (const auto& line : list.lines) {
      out += line;
      out += '\n';
    }
  }
  for (std::size_t k = 0; k < list.entries.size(); ++k) {
    const Named<T>& entry = list.entries[k];
    separate(out);
    out += "## ";
    out += entry.name;
    out += '\n';
    if (k < written.size() && written[k]) {
      append_written(out, *written[k], drain);
    } else if constexpr (requires { Section<T>::serialize(entry.value, out, drain); }) {
      Section<T>::serialize(entry.value, out, drain);
    } else {
      Section<T>::serialize(entry.value, out);
    }
    if (drain) hand_over(out, drain);
  }
}

/// A nested record of a verbatim section.
struct Instance {
  std::string name;
  std::vector<std::string> lines;
  std::vector<Instance> children;
};

/// A section whose name the document model does not know, kept as text.
struct UnknownSection {
  std::string name;
  std::vector<std::string> lines;
  std::vector<Instance> instances;
};

/// Appends one instance under a heading of depth + 2 "#", then its children
/// one level deeper.
void serialize_instance(std::string& out, const Instance& instance, std::size_t depth);

/// Appends a verbatim section; unlike a section list it is written even when
/// it has no lines and no instances.
void serialize(const UnknownSection& section, std::string& out);

/// A document over a section set S, which provides
/// `void serialize(const S&, std::string& out, const Drain&, extra...)` found
/// by argument lookup.
template <class S>
struct Document {
  std::vector<std::string> leading_lines;
  Meta meta;
  S sections;
  std::vector<UnknownSection> unknown_sections;
};

/// Appends the whole document: leading lines, meta header, typed sections,
/// then the verbatim sections. `drain`, when given, is offered the finished
/// text after each entry of the typed sections; `extra` goes on to the
/// section set's serialize().
template <class S, class... Extra>
void write_document(const Document<S>& document, std::string& out, const Drain& drain = {},
                    const Extra&... extra) {
  for (const auto& line : document.leading_lines) {
    out += line;
    out += '\n';
  }
  serialize(document.meta, out);
  serialize(document.sections, out, drain, extra...);
  for (const auto& section : document.unknown_sections) serialize(section, out);
}

}  // namespace tracksmith::header_format