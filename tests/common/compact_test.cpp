#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "common/compact_list.hpp"
#include "common/compact_text.hpp"

namespace {

using common::CompactList;
using common::CompactText;

// Lengths around the inline limit of 15 bytes, and texts with bytes a
// terminator-based size would misread.
TEST(CompactText, KeepsEveryLengthAndByte) {
  const std::vector<std::string> texts = {
      "",
      "a",
      "piano",
      "fourteen bytes",
      "fifteen bytes!!",
      "sixteen bytes!!!",
      std::string("nul\0inside", 10),
      std::string(15, '\0'),
      std::string(16, '\xff'),
      std::string(100000, 'x'),
      "\xe2\x86\x92 arrow",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.size());
    const CompactText compact(text);
    EXPECT_EQ(compact.size(), text.size());
    EXPECT_EQ(compact.empty(), text.empty());
    EXPECT_EQ(compact.str(), text);
    EXPECT_EQ(std::string(compact.begin(), compact.end()), text);
  }
}

TEST(CompactText, CopiesAreDeepAndMovesLeaveEmpty) {
  for (const std::string text : {"short", "a text well beyond the inline room"}) {
    SCOPED_TRACE(text);
    CompactText original(text);
    CompactText copy = original;
    original += "+";
    EXPECT_EQ(copy, text);
    EXPECT_EQ(original, text + "+");

    CompactText moved = std::move(original);
    EXPECT_EQ(moved, text + "+");
    EXPECT_TRUE(original.empty());  // NOLINT: a moved-from text is empty

    copy = moved;
    EXPECT_EQ(copy, moved);
    CompactText& same = copy;
    copy = same;  // self-assignment keeps the text
    EXPECT_EQ(copy, text + "+");
    copy = std::move(moved);
    EXPECT_EQ(copy, text + "+");
    copy.clear();
    EXPECT_TRUE(copy.empty());
    EXPECT_EQ(copy, "");
  }
}

// Copies between the two forms: the old text's block is given back (the
// sanitizer build reports a leak otherwise) and the new one is independent.
TEST(CompactText, CopiesBetweenInlineAndHeapForms) {
  const std::string short_text = "drum";
  const std::string long_text(40, 'L');
  CompactText target(long_text);
  const CompactText inline_source(short_text);
  target = inline_source;
  EXPECT_EQ(target, short_text);
  const CompactText heap_source(long_text);
  target = heap_source;
  EXPECT_EQ(target, long_text);
  EXPECT_NE(target.data(), heap_source.data());
  CompactText copy_of_inline(inline_source);
  EXPECT_EQ(copy_of_inline, short_text);
  EXPECT_EQ(copy_of_inline.size(), short_text.size());
}

TEST(CompactText, AppendCrossesTheInlineLimit) {
  CompactText text;
  std::string expected;
  for (int i = 0; i < 40; ++i) {
    text += "ab";
    expected += "ab";
    ASSERT_EQ(text, expected) << "after " << i + 1 << " appends";
  }
}

TEST(CompactText, EqualityIsByteWise) {
  struct Case {
    std::string a;
    std::string b;
    bool equal;
  };
  const Case cases[] = {
      {"", "", true},
      {"Piano", "piano", false},
      {"piano", "piano ", false},
      {std::string("a\0", 2), "a", false},
      {std::string(20, 'q'), std::string(20, 'q'), true},
      {std::string(20, 'q'), std::string(19, 'q'), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a + "|" + c.b);
    EXPECT_EQ(CompactText(c.a) == CompactText(c.b), c.equal);
    EXPECT_EQ(CompactText(c.a) == c.b, c.equal);
  }
}

struct Point {
  float x = 0.0f;
  bool flag = true;
  bool operator==(const Point&) const = default;
};

TEST(CompactList, GrowsKeepingOrderAndGivesBackEmptyBlocks) {
  CompactList<Point> list;
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.capacity(), 0u);
  for (int i = 0; i < 1000; ++i) list.push_back(Point{static_cast<float>(i), i % 2 == 0});
  ASSERT_EQ(list.size(), 1000u);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(list[static_cast<std::size_t>(i)].x, static_cast<float>(i));
  EXPECT_EQ(list.back().x, 999.0f);

  // Pushing a value held by the list itself while it grows.
  CompactList<Point> self{{1.0f, true}, {2.0f, false}, {3.0f, true}, {4.0f, false}};
  self.push_back(self.front());
  EXPECT_EQ(self, (std::vector<Point>{{1.0f, true}, {2.0f, false}, {3.0f, true}, {4.0f, false}, {1.0f, true}}));

  CompactList<float> one{7.0f};
  one.pop_back();
  EXPECT_TRUE(one.empty());
  EXPECT_EQ(one.capacity(), 0u);
}

TEST(CompactList, CopiesAreDeepAndMovesLeaveEmpty) {
  CompactList<float> original{1.0f, 2.0f};
  CompactList<float> copy = original;
  original.push_back(3.0f);
  EXPECT_EQ(copy, (std::vector<float>{1.0f, 2.0f}));
  EXPECT_EQ(original, (std::vector<float>{1.0f, 2.0f, 3.0f}));

  CompactList<float> moved = std::move(original);
  EXPECT_TRUE(original.empty());  // NOLINT: a moved-from list is empty
  EXPECT_EQ(moved.size(), 3u);
  copy = moved;
  CompactList<float>& same = copy;
  copy = same;
  EXPECT_EQ(copy, moved);
  copy.clear();
  EXPECT_TRUE(copy.empty());

  const std::vector<float> source{4.0f, 5.0f};
  CompactList<float> from_vector = source;
  EXPECT_EQ(from_vector, source);
  from_vector = std::vector<float>{};
  EXPECT_TRUE(from_vector.empty());
}

TEST(CompactList, EqualityUsesTheElementsOwnEquality) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* name;
    std::vector<float> a;
    std::vector<float> b;
    bool equal;
  };
  const Case cases[] = {
      {"both empty", {}, {}, true},
      {"same values", {1.0f, 2.0f}, {1.0f, 2.0f}, true},
      {"signed zeros", {-0.0f}, {0.0f}, true},
      {"NaN never equal", {nan}, {nan}, false},
      {"prefix", {1.0f}, {1.0f, 2.0f}, false},
      {"order", {1.0f, 2.0f}, {2.0f, 1.0f}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CompactList<float>(c.a) == CompactList<float>(c.b), c.equal);
  }
}

}  // namespace
