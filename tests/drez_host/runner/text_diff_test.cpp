// The unified diff of golden traces.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runner/text_diff.h"

namespace {

using ::testing::HasSubstr;
using namespace drezhost;

std::vector<std::string> numbers(int first, int last) {
  std::vector<std::string> lines;
  for (int i = first; i <= last; ++i) lines.push_back(std::to_string(i));
  return lines;
}

TEST(TextDiff, IsEmptyForEqualLists) {
  EXPECT_EQ(unifiedDiff({}, {}, "a", "b"), "");
  EXPECT_EQ(unifiedDiff(numbers(1, 5), numbers(1, 5), "a", "b"), "");
}

TEST(TextDiff, ShowsAChangeWithThreeLinesOfContext) {
  std::vector<std::string> actual = numbers(1, 10);
  actual[4] = "five";
  EXPECT_EQ(unifiedDiff(numbers(1, 10), actual, "golden", "run"),
            "--- golden\n+++ run\n@@ -2,7 +2,7 @@\n 2\n 3\n 4\n+five\n-5\n 6\n 7\n 8\n");
}

TEST(TextDiff, ShowsLinesMissingAndNew) {
  const std::string diff = unifiedDiff({"a", "b"}, {"b", "c"}, "x", "y");
  EXPECT_THAT(diff, HasSubstr("-a\n"));
  EXPECT_THAT(diff, HasSubstr("+c\n"));
  EXPECT_THAT(unifiedDiff({}, {"only"}, "x", "y"), HasSubstr("+only\n"));
  EXPECT_THAT(unifiedDiff({"gone"}, {}, "x", "y"), HasSubstr("-gone\n"));
}

TEST(TextDiff, CutsALongDiffAndCountsTheRest) {
  const std::string diff = unifiedDiff(numbers(1, 500), numbers(1001, 1500), "x", "y", 60);
  std::size_t lines = 0;
  for (char c : diff) lines += c == '\n';
  EXPECT_EQ(lines, 2u + 60u + 1u);  // the names, 60 lines, the count
  EXPECT_THAT(diff, HasSubstr("more lines"));
}

}  // namespace
