#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode_drez_string.h"
#include "drez_records.h"

namespace {

std::vector<std::string> tokens(const decodeDREZString& decoded) {
  std::vector<std::string> out;
  out.reserve(static_cast<std::size_t>(decoded.tokenCount));
  for (int i = 0; i < decoded.tokenCount; ++i) out.emplace_back(decoded.tokens[i]);
  return out;
}

TEST(DecodeDrezString, Tokenizes) {
  const struct {
    const char* text;
    std::vector<std::string> tokens;
  } cases[] = {
      {"12 40", {"12", "40"}},
      {"a  b", {"a", "b"}},
      {" a", {"", "a"}},
      {"a ", {"a"}},
      {"'a b' c", {"", "a b", "c"}},
      {"x '' y", {"x", "", "y"}},
      {"x 'a'b", {"x", "a", "b"}},
      {"x 'a b", {"x", "a b"}},
      {"wo'rd", {"wo", "rd"}},
      {"a\tb", {"a\tb"}},
      {"'", {""}},
      {"12", {"12"}},
  };
  for (const auto& c : cases) {
    const decodeDREZString decoded(c.text, '\'');
    EXPECT_EQ(tokens(decoded), c.tokens) << '"' << c.text << '"';
    EXPECT_EQ(decoded.quote, '\'');
  }
}

TEST(DecodeDrezString, NullAndEmptyGiveNoTokens) {
  for (const char* text : {static_cast<const char*>(nullptr), ""}) {
    const decodeDREZString decoded(text, '\'');
    EXPECT_EQ(decoded.tokenCount, 0);
    EXPECT_EQ(decoded.buffer, nullptr);
    for (const char* token : decoded.tokens) EXPECT_STREQ(token, "");
  }
}

TEST(DecodeDrezString, KeepsAtMostThirtyTwoTokens) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += (i ? " w" : "w") + std::to_string(i);
  const decodeDREZString decoded(text.c_str(), '\'');
  ASSERT_EQ(decoded.tokenCount, decodeDREZString::MAX_TOKENS);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(decoded.tokens[i], "w" + std::to_string(i));
}

TEST(DecodeDrezString, EntriesPastTheLastTokenAreTheSharedEmptyText) {
  const decodeDREZString decoded("12 40", '\'');
  for (int i = 2; i < decodeDREZString::MAX_TOKENS; ++i)
    EXPECT_EQ(decoded.tokens[i], drez_empty_text);
}

}  // namespace
