#include "tracksmith/header_format/meta/meta.hpp"

#include <gtest/gtest.h>

#include <string>

#include "tracksmith/header_format/document.hpp"

using namespace tracksmith;

namespace {

using header_format::Meta;

std::string written(const Meta& meta, std::string out = "") {
  header_format::serialize(meta, out);
  return out;
}

TEST(Meta, EveryFieldPresent) {
  Meta meta;
  meta.title = "T";
  meta.author = "A";
  meta.description = "first description line\nsecond description line";
  meta.tags = {"tag one", "tag two"};
  EXPECT_EQ(written(meta),
            "# Meta\n"
            "\n"
            "@title T\n"
            "@author A\n"
            "\n"
            "## Description\n"
            "\n"
            "first description line\n"
            "second description line\n"
            "\n"
            "## Tags\n"
            "\n"
            "tag one\n"
            "tag two\n");
}

TEST(Meta, Cases) {
  struct Case {
    const char* name;
    Meta meta;
    std::string before;
    std::string expected;
  };
  const Case cases[] = {
      {"empty writes nothing", Meta{}, "x\n", "x\n"},
      {"title only", Meta{"T", {}, {}, {}}, "", "# Meta\n\n@title T\n"},
      {"author only", Meta{{}, "A", {}, {}}, "", "# Meta\n\n@author A\n"},
      {"empty title is still written", Meta{"", {}, {}, {}}, "", "# Meta\n\n@title \n"},
      {"tags after a line", Meta{{}, {}, {}, {"a", "b"}}, "x\n", "x\n\n# Meta\n\n## Tags\n\na\nb\n"},
      {"two description lines", Meta{{}, {}, "a\nb", {}}, "", "# Meta\n\n## Description\n\na\nb\n"},
      {"final line break gives an empty line", Meta{{}, {}, "a\nb\n", {}}, "",
       "# Meta\n\n## Description\n\na\nb\n\n"},
      {"empty description is one empty line", Meta{{}, {}, "", {}}, "", "# Meta\n\n## Description\n\n\n"},
      {"carriage return stays in its line", Meta{{}, {}, "a\r\nb", {}}, "",
       "# Meta\n\n## Description\n\na\r\nb\n"},
      {"no second blank line before tags", Meta{{}, {}, "a\n", {"t"}}, "",
       "# Meta\n\n## Description\n\na\n\n## Tags\n\nt\n"},
      {"title then tags", Meta{"T", {}, {}, {"t"}}, "", "# Meta\n\n@title T\n\n## Tags\n\nt\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(written(c.meta, c.before), c.expected) << c.name;
  }
}

}  // namespace
