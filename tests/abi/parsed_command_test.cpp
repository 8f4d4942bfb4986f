#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drez_records.h"

namespace {

std::vector<std::string> parts(const ParsedCommand& parsed) {
  std::vector<std::string> out;
  out.reserve(static_cast<std::size_t>(parsed.partCount));
  for (int i = 0; i < parsed.partCount; ++i) out.emplace_back(parsed.parts[i]);
  return out;
}

TEST(ParsedCommand, SplitsNamePartsAndValue) {
  const struct {
    const char* text;
    const char* name;
    std::vector<std::string> parts;
    const char* value;
    bool hasValue;
  } cases[] = {
      {"myParam=abc", "myParam", {}, "abc", true},
      {"a.b.c=d.e", "a", {"b", "c"}, "d.e", true},
      {"a", "a", {}, "", false},
      {"a=", "a", {}, "", true},
      {"=x", "", {}, "x", true},
      {".x", "", {"x"}, "", false},
      {"a..b", "a", {"", "b"}, "", false},
      {"a.", "a", {""}, "", false},
      {"a=b=c", "a", {}, "b=c", true},
      {"return=all", "return", {}, "all", true},
  };
  for (const auto& c : cases) {
    const ParsedCommand parsed(c.text);
    EXPECT_STREQ(parsed.name, c.name) << c.text;
    EXPECT_EQ(parts(parsed), c.parts) << c.text;
    EXPECT_STREQ(parsed.value, c.value) << c.text;
    EXPECT_EQ(parsed.hasValue, c.hasValue) << c.text;
    ASSERT_NE(parsed.buffer, nullptr);
  }
}

TEST(ParsedCommand, NullAndEmptyTextGiveEmptyFieldsAndNoBuffer) {
  for (const char* text : {static_cast<const char*>(nullptr), ""}) {
    const ParsedCommand parsed(text);
    EXPECT_EQ(parsed.name, drez_empty_text);
    EXPECT_EQ(parsed.value, drez_empty_text);
    EXPECT_EQ(parsed.partCount, 0);
    EXPECT_FALSE(parsed.hasValue);
    EXPECT_EQ(parsed.buffer, nullptr);
  }
}

TEST(ParsedCommand, UnfilledPartsReadAsTheSharedEmptyText) {
  const ParsedCommand parsed("a.b");
  ASSERT_EQ(parsed.partCount, 1);
  for (int i = 1; i < MAX_COMMAND_PARTS; ++i) EXPECT_EQ(parsed.parts[i], drez_empty_text) << i;
}

TEST(ParsedCommand, StopsSplittingAfterThirtyTwoParts) {
  std::string text = "name";
  for (int i = 1; i <= 33; ++i) text += "." + std::to_string(i);
  text += "=v";
  const ParsedCommand parsed(text.c_str());
  EXPECT_STREQ(parsed.name, "name");
  ASSERT_EQ(parsed.partCount, 32);
  EXPECT_STREQ(parsed.parts[0], "1");
  EXPECT_STREQ(parsed.parts[30], "31");
  EXPECT_STREQ(parsed.parts[31], "32.33=v");
  EXPECT_STREQ(parsed.value, "");
  EXPECT_FALSE(parsed.hasValue);
}

TEST(ParsedCommand, LeavesTheCallersTextAlone) {
  char text[] = "a.b=c";
  const ParsedCommand parsed(text);
  EXPECT_STREQ(text, "a.b=c");
  EXPECT_NE(parsed.name, text);
}

}  // namespace
