#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tracksmith/common/compact_list.hpp"
#include "tracksmith/common/compact_text.hpp"

using namespace tracksmith;

namespace {

using common::CompactList;
using common::CompactText;

// Lengths around the inline limit of 7 bytes, and texts with bytes a
// terminator-based size would misread.
TEST(CompactText, KeepsEveryLengthAndByte) {
  const std::vector<std::string> texts = {
      "",
      "a",
      "piano",
      "six by",
      "seven b",
      "eight by",
      "fifteen bytes!!",
      std::string("nul\0inside", 10),
      std::string("\0\0a", 3),
      std::string(7, '\0'),
      std::string(7, '\xff'),
      std::string(8, '\0'),
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

// Static characters for borrowed texts: a literal-like table that lives for
// the whole program, long enough for the borrowing limit and past it.
constexpr std::array<char, 300> kStaticChars = [] {
  std::array<char, 300> chars{};
  for (std::size_t i = 0; i < chars.size(); ++i) chars[i] = static_cast<char>('a' + i % 26);
  return chars;
}();

// The same characters as a literal "noise_hit", at an address of their own.
constexpr char kNoiseCopyChars[] = "noise_hit";
constexpr std::string_view kNoiseCopy(kNoiseCopyChars, 9);

enum class Form { Inline, Heap, Borrowed };

const char* form_name(Form form) {
  switch (form) {
    case Form::Inline:
      return "inline";
    case Form::Heap:
      return "heap";
    case Form::Borrowed:
      return "borrowed";
  }
  return "?";
}

// Where a text's characters lie tells its form: inside the object, at the
// static characters it was made from, or elsewhere (a heap block).
Form form_of(const CompactText& text, std::string_view source) {
  const auto* object = reinterpret_cast<const char*>(&text);
  if (text.data() >= object && text.data() < object + sizeof text) return Form::Inline;
  if (text.data() == source.data()) return Form::Borrowed;
  return Form::Heap;
}

struct Sample {
  Form form;
  std::string_view text;  // static characters
};

CompactText make(const Sample& sample) {
  if (sample.form == Form::Borrowed) return CompactText::borrow_static(sample.text);
  return CompactText(std::string(sample.text));
}

// One text of each form, at the edges of the inline room and the borrowing
// limit; the static characters double as the borrowed source.
const Sample kSamples[] = {
    {Form::Inline, std::string_view(kStaticChars.data(), 0)},
    {Form::Inline, std::string_view(kStaticChars.data(), 7)},
    {Form::Heap, std::string_view(kStaticChars.data(), 8)},
    {Form::Heap, std::string_view(kStaticChars.data(), 300)},
    {Form::Borrowed, std::string_view(kStaticChars.data(), 1)},
    {Form::Borrowed, std::string_view(kStaticChars.data() + 3, 9)},
    {Form::Borrowed, std::string_view(kStaticChars.data(), 255)},
};

TEST(CompactText, EachFormHoldsItsTextAtTheBoundaries) {
  EXPECT_EQ(sizeof(CompactText), 8u);
  for (const Sample& sample : kSamples) {
    SCOPED_TRACE(std::string(form_name(sample.form)) + " " + std::to_string(sample.text.size()));
    const CompactText text = make(sample);
    EXPECT_EQ(form_of(text, sample.text), sample.form);
    EXPECT_EQ(text.size(), sample.text.size());
    EXPECT_EQ(text.view(), sample.text);
    EXPECT_EQ(text.str(), std::string(sample.text));
  }
}

TEST(CompactText, BorrowingFallsBackToACopy) {
  struct Case {
    const char* name;
    std::string_view text;
    Form form;
  };
  const Case cases[] = {
      {"empty", std::string_view(kStaticChars.data(), 0), Form::Inline},
      {"at the limit", std::string_view(kStaticChars.data(), 255), Form::Borrowed},
      {"one past the limit", std::string_view(kStaticChars.data(), 256), Form::Heap},
      {"far past the limit", std::string_view(kStaticChars.data(), 300), Form::Heap},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CompactText text = CompactText::borrow_static(c.text);
    EXPECT_EQ(form_of(text, c.text), c.form);
    EXPECT_EQ(text.size(), c.text.size());
    EXPECT_EQ(text.view(), c.text);
  }
}

// Every assignment and construction from every form into every form: the
// value arrives, a copy leaves its source alone and owns its own block, a
// move leaves its source empty. The sanitizer build reports any block lost
// or freed twice along the way.
TEST(CompactText, CopiesAndMovesBetweenEveryPairOfForms) {
  for (const Sample& from : kSamples) {
    for (const Sample& to : kSamples) {
      SCOPED_TRACE(std::string(form_name(from.form)) + " " + std::to_string(from.text.size()) + " into " +
                   form_name(to.form) + " " + std::to_string(to.text.size()));
      const CompactText source = make(from);

      CompactText copied = make(to);
      copied = source;
      EXPECT_EQ(copied.view(), from.text);
      EXPECT_EQ(source.view(), from.text);
      EXPECT_EQ(form_of(copied, from.text), from.form);

      CompactText moving = make(from);
      CompactText moved = make(to);
      moved = std::move(moving);
      EXPECT_EQ(moved.view(), from.text);
      EXPECT_TRUE(moving.empty());  // NOLINT: a moved-from text is empty
      EXPECT_EQ(form_of(moved, from.text), from.form);

      // The moved-from text takes a new value and gives it back cleanly.
      moving = make(to);
      EXPECT_EQ(moving.view(), to.text);

      CompactText swapped = make(to);
      moved.swap(swapped);
      EXPECT_EQ(moved.view(), to.text);
      EXPECT_EQ(swapped.view(), from.text);
    }
    SCOPED_TRACE(std::string(form_name(from.form)) + " " + std::to_string(from.text.size()));
    const CompactText source = make(from);
    const CompactText copy(source);
    EXPECT_EQ(copy.view(), from.text);
    EXPECT_EQ(form_of(copy, from.text), from.form);
    if (from.form == Form::Heap) {
      EXPECT_NE(copy.data(), source.data());
    }
    CompactText moving = make(from);
    const CompactText moved(std::move(moving));
    EXPECT_EQ(moved.view(), from.text);
    EXPECT_TRUE(moving.empty());  // NOLINT: a moved-from text is empty
  }
}

TEST(CompactText, SelfAssignmentKeepsEveryForm) {
  for (const Sample& sample : kSamples) {
    SCOPED_TRACE(std::string(form_name(sample.form)) + " " + std::to_string(sample.text.size()));
    CompactText text = make(sample);
    CompactText& same = text;
    text = same;
    EXPECT_EQ(text.view(), sample.text);
    EXPECT_EQ(form_of(text, sample.text), sample.form);
    text = std::move(same);
    EXPECT_EQ(text.view(), sample.text);
    text.swap(same);
    EXPECT_EQ(text.view(), sample.text);
  }
}

TEST(CompactText, AppendMovesBetweenForms) {
  struct Case {
    const char* name;
    Sample start;
    std::string_view tail;
    std::string expected;
    Form form;  // the form after appending
  };
  const Case cases[] = {
      {"inline stays inline at seven", {Form::Inline, "abc"}, "defg", "abcdefg", Form::Inline},
      {"inline grows to the heap at eight", {Form::Inline, "abcdefg"}, "h", "abcdefgh", Form::Heap},
      {"empty append keeps a full inline text", {Form::Inline, "abcdefg"}, "", "abcdefg", Form::Inline},
      {"heap grows on the heap", {Form::Heap, "abcdefgh"}, "ij", "abcdefghij", Form::Heap},
      {"borrowed becomes an owned copy", {Form::Borrowed, "noise_hit"}, "!", "noise_hit!", Form::Heap},
      {"short borrowed becomes inline", {Form::Borrowed, "tom"}, "2", "tom2", Form::Inline},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CompactText text = make(c.start);
    text += c.tail;
    EXPECT_EQ(text.view(), c.expected);
    EXPECT_EQ(form_of(text, c.start.text), c.form);
  }
  // Appending the text to itself reads it before it is replaced.
  CompactText doubled = CompactText::borrow_static("abcd");
  doubled += doubled;
  EXPECT_EQ(doubled.view(), "abcdabcd");
  doubled += doubled;
  EXPECT_EQ(doubled.view(), "abcdabcdabcdabcd");
}

TEST(CompactText, EqualityComparesBytesAcrossForms) {
  const std::string_view piano = "piano";
  const std::string_view noise = "noise_hit";
  struct Case {
    const char* name;
    Sample a;
    Sample b;
    bool equal;
  };
  const Case cases[] = {
      {"borrowed and inline, same text", {Form::Borrowed, piano}, {Form::Inline, "piano"}, true},
      {"borrowed and heap, same text", {Form::Borrowed, noise}, {Form::Heap, "noise_hit"}, true},
      {"two borrows of one literal", {Form::Borrowed, noise}, {Form::Borrowed, noise}, true},
      {"borrows of equal texts at two places", {Form::Borrowed, noise}, {Form::Borrowed, kNoiseCopy}, true},
      {"two heap blocks, same text", {Form::Heap, "noise_hit"}, {Form::Heap, "noise_hit"}, true},
      {"borrowed prefix of a heap text", {Form::Borrowed, noise.substr(0, 8)}, {Form::Heap, "noise_hit"}, false},
      {"borrowed and inline, other case", {Form::Borrowed, piano}, {Form::Inline, "Piano"}, false},
      {"empty borrow and empty inline", {Form::Borrowed, piano.substr(0, 0)}, {Form::Inline, ""}, true},
      {"inline with a NUL and shorter inline",
       {Form::Inline, std::string_view("ab\0", 3)},
       {Form::Inline, "ab"},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(make(c.a) == make(c.b), c.equal);
    EXPECT_EQ(make(c.b) == make(c.a), c.equal);
    EXPECT_EQ(make(c.a) == std::string(c.b.text), c.equal);
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
