#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "drez_string.h"

namespace {

std::vector<std::string> items(const drez_stringlist& list) {
  std::vector<std::string> out;
  for (drez_stringlistIterator it = list.begin(); it != list.end(); ++it)
    out.push_back((*it).str());
  return out;
}

TEST(DrezString, NumberConstructor) {
  const struct {
    int value;
    char fill;
    unsigned width;
    int base;
    const char* text;
  } cases[] = {
      {1, 0, 0, 10, "1"},
      {62, 0, 0, 10, "62"},
      {0, 0, 0, 10, "0"},
      {-5, 0, 0, 10, "-5"},
      {INT_MAX, 0, 0, 10, "2147483647"},
      {INT_MIN, 0, 0, 10, "-2147483648"},
      {255, 0, 0, 16, "ff"},
      {7, '0', 3, 10, "007"},
      {7, 0, 3, 10, "7"},
      {12345, '0', 3, 10, "12345"},
      {5, 0, 0, 99, "5"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(drez_string(c.value, c.fill, c.width, c.base), c.text) << c.value;
  }
}

TEST(DrezString, ToInt) {
  const struct {
    const char* text;
    int value;
  } cases[] = {
      {"", 0},
      {"0", 0},
      {"2", 2},
      {"-1", -1},
      {"+7", 7},
      {"  42", 42},
      {"\t\n12", 12},
      {"12abc", 12},
      {"abc", 0},
      {"-", 0},
      {"- 3", 0},
      {"3.9", 3},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-99999999999999999999", INT_MIN},
      {"99999999999999999999999", INT_MAX},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(drez_string(c.text).toInt(), c.value) << '"' << c.text << '"';
    EXPECT_EQ(drez_string::toInt(c.text), c.value) << '"' << c.text << '"';
  }
  EXPECT_EQ(drez_string::toInt(nullptr), 0);
}

TEST(DrezString, ArgFillsLowestPlaceholderFirst) {
  const struct {
    const char* format;
    std::vector<const char*> values;
    const char* result;
  } cases[] = {
      {"SD '%1'", {"RIR SDI Router"}, "SD 'RIR SDI Router'"},
      {"%1=%2", {"myParam", "abc"}, "myParam=abc"},
      {"%2 %1", {"a", "b"}, "b a"},
      {"%1 and %1", {"x"}, "x and x"},
      {"no placeholder", {"x"}, "no placeholder"},
      {"%3 only", {"a", "b"}, "a only"},
      {"100% sure %1", {"yes"}, "100% sure yes"},
      {"%10 %2", {"a", "b"}, "b a"},  // "%10" is one placeholder, above "%2"
      {"end %", {"x"}, "end %"},
  };
  for (const auto& c : cases) {
    drez_string text(c.format);
    for (const char* value : c.values) text = text.arg(value);
    EXPECT_STREQ(text, c.result) << c.format;
  }
}

TEST(DrezString, ChainedArgRescansInsertedTextButArgsDoesNot) {
  // A chained call sees a placeholder that an earlier call inserted...
  EXPECT_STREQ(drez_string("%1 %2").arg("a%2").arg("b"), "ab b");
  // ...the one-pass fill keeps inserted text as it is.
  const drez_string first("a%2"), second("b");
  const drez_string* values[] = {&first, &second};
  EXPECT_STREQ(drez_string("%1 %2").args(values, 2), "a%2 b");
  // More values than placeholders change nothing further.
  EXPECT_STREQ(drez_string("[%1]").args(values, 2), "[a%2]");
}

TEST(DrezString, Split) {
  const struct {
    const char* text;
    const char* left;
    const char* right;
    int result;
  } cases[] = {
      {"value=3", "value", "3", 5}, {"value=a=b", "value", "a=b", 5},
      {"value", "value", "", -1},   {"=x", "", "x", 0},
      {"x=", "x", "", 1},           {"", "", "", -1},
  };
  for (const auto& c : cases) {
    drez_string left("old"), right("old");
    EXPECT_EQ(drez_string(c.text).split('=', left, right), c.result) << c.text;
    EXPECT_STREQ(left, c.left) << c.text;
    EXPECT_STREQ(right, c.right) << c.text;
  }
  drez_string self("a=b"), rest;
  self.split('=', self, rest);
  EXPECT_STREQ(self, "a");
  EXPECT_STREQ(rest, "b");
}

TEST(DrezString, ComparisonAndConcatenation) {
  const drez_string value("value");
  EXPECT_TRUE(value == "value");
  EXPECT_FALSE(value == "Value");
  EXPECT_FALSE(value == "value ");
  EXPECT_TRUE(drez_string() == static_cast<const char*>(nullptr));
  EXPECT_TRUE(value != drez_string("Value"));
  EXPECT_FALSE(value != drez_string("value"));

  EXPECT_STREQ("TP '" + value + "=" + drez_string("3") + "'", "TP 'value=3'");
  drez_string text(static_cast<const char*>(nullptr));
  EXPECT_EQ(text.length(), 0u);
  text += "ab";
  text += drez_string("c");
  text = static_cast<const char*>(nullptr);
  EXPECT_STREQ(text, "");
}

TEST(DrezStringList, BuildFromTextAndJoin) {
  const struct {
    const char* text;
    std::vector<std::string> items;
  } cases[] = {
      {"", {}},
      {"alm_1", {"alm_1"}},
      {"alm_1,alm_2,alm_3", {"alm_1", "alm_2", "alm_3"}},
      {"a,,b", {"a", "", "b"}},
      {"a,", {"a", ""}},
      {",", {"", ""}},
  };
  for (const auto& c : cases) {
    const drez_stringlist list(c.text, ',');
    EXPECT_EQ(items(list), c.items) << c.text;
    EXPECT_EQ(list.count(), c.items.size());
    EXPECT_STREQ(list.toString(','), c.text) << "joining gives the text back";
  }
}

TEST(DrezStringList, AppendIterateJoin) {
  drez_stringlist list;
  EXPECT_TRUE(list.begin() == list.end());
  EXPECT_STREQ(list.toString('\n'), "");
  list << "notify=*";
  EXPECT_STREQ(list.toString('\n'), "notify=*");
  list << "b"
       << "c";
  EXPECT_STREQ(list.toString('\n'), "notify=*\nb\nc");
  EXPECT_EQ(items(list), (std::vector<std::string>{"notify=*", "b", "c"}));
  const drez_stringlist copy(list);
  EXPECT_EQ(items(copy), items(list));
}

}  // namespace
