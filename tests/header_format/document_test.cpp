#include "tracksmith/header_format/document.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

using namespace tracksmith;

namespace {

// A tiny entry type with a section of its own.
struct Echo {
  std::string body;
};

}  // namespace

template <>
struct header_format::Section<Echo> {
  static constexpr std::string_view SECTION_NAME = "Reverb";
  static void serialize(const Echo& value, std::string& out) {
    out += value.body;
    out += '\n';
  }
};

namespace {

using header_format::Instance;
using header_format::SectionList;
using header_format::UnknownSection;

TEST(Separate, Cases) {
  struct Case {
    std::string before;
    std::string after;
  };
  const Case cases[] = {
      {"", ""}, {"x", "x\n"}, {"\n", "\n\n"}, {"x\n", "x\n\n"}, {"x\n\n", "x\n\n"}, {"\n\n", "\n\n"},
  };
  for (const Case& c : cases) {
    std::string out = c.before;
    header_format::separate(out);
    EXPECT_EQ(out, c.after) << c.before;
  }
}

std::string written(const SectionList<Echo>& list, std::string out = "") {
  header_format::serialize(list, out);
  return out;
}

TEST(SectionList, Cases) {
  struct Case {
    const char* name;
    SectionList<Echo> list;
    std::string before;
    std::string expected;
  };
  const Case cases[] = {
      {"empty writes nothing", {}, "x\n", "x\n"},
      {"lines only", {{"L1", "L2"}, {}}, "", "# Reverb\n\nL1\nL2\n"},
      {"entries only", {{}, {{"E", {"body"}}, {"F", {"more"}}}}, "", "# Reverb\n\n## E\nbody\n\n## F\nmore\n"},
      {"a line and an entry", {{"L"}, {{"E", {"body"}}}}, "", "# Reverb\n\nL\n\n## E\nbody\n"},
      {"after other text", {{}, {{"E", {"body"}}}}, "x\n", "x\n\n# Reverb\n\n## E\nbody\n"},
      {"empty line and empty name", {{""}, {{"", {""}}}}, "", "# Reverb\n\n\n## \n\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(written(c.list, c.before), c.expected) << c.name;
  }
}

TEST(Instance, NestedHeadingsGoOneLevelDeeperEach) {
  const Instance instance{
      "top",
      {"t"},
      {Instance{"a", {"a1"}, {Instance{"a-child", {}, {}}}}, Instance{"b", {}, {Instance{"b-child", {"b1"}, {}}}}}};
  std::string out = "x\n";
  header_format::serialize_instance(out, instance, 0);
  EXPECT_EQ(out,
            "x\n"
            "\n## top\nt\n"
            "\n### a\na1\n"
            "\n#### a-child\n"
            "\n### b\n"
            "\n#### b-child\nb1\n");
}

TEST(Instance, DepthSetsTheFirstLevel) {
  std::string out;
  header_format::serialize_instance(out, Instance{"deep", {"l"}, {}}, 2);
  EXPECT_EQ(out, "#### deep\nl\n");
  header_format::serialize_instance(out, Instance{"next", {}, {}}, 1);
  EXPECT_EQ(out, "#### deep\nl\n\n### next\n");
}

TEST(UnknownSection, Cases) {
  struct Case {
    const char* name;
    UnknownSection section;
    std::string before;
    std::string expected;
  };
  const Case cases[] = {
      {"heading alone", {"Extra", {}, {}}, "x\n", "x\n\n# Extra\n"},
      {"heading alone into an empty buffer", {"Extra", {}, {}}, "", "# Extra\n"},
      {"lines", {"Extra", {"a", "b"}, {}}, "", "# Extra\n\na\nb\n"},
      {"lines and instances",
       {"Extra", {"a"}, {Instance{"i", {"i1"}, {Instance{"j", {}, {}}}}, Instance{"k", {}, {}}}},
       "",
       "# Extra\n\na\n\n## i\ni1\n\n### j\n\n## k\n"},
      {"instance right after the heading", {"Extra", {}, {Instance{"i", {}, {}}}}, "", "# Extra\n\n## i\n"},
  };
  for (const Case& c : cases) {
    std::string out = c.before;
    header_format::serialize(c.section, out);
    EXPECT_EQ(out, c.expected) << c.name;
  }
}

// A section set of two lists, written in a fixed order.
struct TwoSections {
  SectionList<Echo> first;
  std::string second_heading;
};

void serialize(const TwoSections& sections, std::string& out, const header_format::Drain& drain) {
  header_format::serialize(sections.first, out, drain);
  if (!sections.second_heading.empty()) {
    header_format::separate(out);
    out += sections.second_heading;
    out += '\n';
  }
}

TEST(Document, WholeLayout) {
  header_format::Document<TwoSections> document;
  EXPECT_EQ([&] {
    std::string out;
    header_format::write_document(document, out);
    return out;
  }(),
            "");

  document.leading_lines = {"@import lib", "@other"};
  document.meta.title = "T";
  document.sections.first.entries = {{"E", {"body"}}};
  document.sections.second_heading = "# Second";
  document.unknown_sections = {UnknownSection{"Extra", {}, {}}, UnknownSection{"More", {"m"}, {}}};
  std::string out;
  header_format::write_document(document, out);
  EXPECT_EQ(out,
            "@import lib\n@other\n"
            "\n# Meta\n\n@title T\n"
            "\n# Reverb\n\n## E\nbody\n"
            "\n# Second\n"
            "\n# Extra\n"
            "\n# More\n\nm\n");
}

}  // namespace
