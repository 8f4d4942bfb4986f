// What a host found wrong: expected problems, settled ones, bounded memory.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulator/validator.h"

namespace {

using ::testing::ElementsAre;
using namespace drezhost;

TEST(Validator, CountsErrorsThatNoScenarioExpected) {
  Validator validator;
  std::vector<std::string> heard;
  validator.setListener([&](const Problem& problem) { heard.push_back(problem.message); });
  validator.error("#3 GS: one");
  validator.warning("#4 SD: no device");
  validator.error("#5 AS: two");
  EXPECT_THAT(heard, ElementsAre("#3 GS: one", "#4 SD: no device", "#5 AS: two"));
  EXPECT_EQ(validator.unexpectedErrors(), 2u);
  EXPECT_EQ(validator.count(Severity::Warning), 1u);

  EXPECT_TRUE(validator.expect(Severity::Error, "two", 0));
  EXPECT_FALSE(validator.expect(Severity::Error, "two", 0));        // each matches once
  EXPECT_FALSE(validator.expect(Severity::Error, "no device", 0));  // a warning, not an error
  EXPECT_TRUE(validator.expect(Severity::Warning, "no device", 0));
  EXPECT_EQ(validator.unexpectedErrors(), 1u);
  std::size_t more = 0;
  EXPECT_THAT(validator.unexpectedMessages(&more), ElementsAre("#3 GS: one"));
  EXPECT_EQ(more, 0u);
}

TEST(Validator, LooksOnlyFromAMark) {
  Validator validator;
  validator.error("old: x");
  const std::size_t mark = validator.mark();
  validator.error("new: x");
  EXPECT_EQ(validator.since(mark, Severity::Error).size(), 1u);
  EXPECT_TRUE(validator.expect(Severity::Error, "x", mark));
  EXPECT_EQ(validator.since(mark, Severity::Error)[0]->message, "new: x");
  EXPECT_EQ(validator.unexpectedErrors(), 1u);  // the old one
}

TEST(Validator, KeepsSettledErrorsAsCountsAndTheFirstFew) {
  Validator validator;
  for (int i = 0; i < 100; ++i) {
    validator.error("error " + std::to_string(i));
    validator.warning("warning " + std::to_string(i));
    validator.forgetBefore(validator.mark());
  }
  EXPECT_TRUE(validator.problems().empty());
  EXPECT_EQ(validator.first(), 200u);
  EXPECT_EQ(validator.unexpectedErrors(), 100u);
  EXPECT_EQ(validator.count(Severity::Warning), 100u);
  std::size_t more = 0;
  const std::vector<std::string> kept = validator.unexpectedMessages(&more);
  EXPECT_EQ(kept.size(), Validator::kSettledErrorsKept);
  EXPECT_EQ(kept.front(), "error 0");
  EXPECT_EQ(more, 100u - Validator::kSettledErrorsKept);
  // Settled problems can no longer be expected.
  EXPECT_FALSE(validator.expect(Severity::Error, "error 99", 0));
}

}  // namespace
