// The reply tokenizer: a reply of any bytes, with any quote character,
// decodes without fault into at most 32 tokens that all point into the
// tokenizer's own copy; without quote characters the tokens are the words
// between the spaces.
//
// Input: the quote character, then the reply text up to its first NUL. An
// empty input stands for a null text.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "decode_drez_string.h"
#include "drez_records.h"
#include "fuzz_check.h"

namespace {

// The words of a text without quote characters: token 0 begins at the
// start, every other one at a character that follows a space.
std::vector<std::string> wordsOf(const std::string& text) {
  std::vector<std::size_t> starts = {0};
  for (std::size_t i = 1; i < text.size() && starts.size() < decodeDREZString::MAX_TOKENS; ++i) {
    if (text[i] != ' ' && text[i - 1] == ' ') starts.push_back(i);
  }
  std::vector<std::string> words;
  words.reserve(starts.size());
  for (std::size_t start : starts) {
    words.push_back(text.substr(start, text.find(' ', start) - start));
  }
  return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const char quote = size > 0 ? static_cast<char>(data[0]) : '\'';
  const std::string bytes(reinterpret_cast<const char*>(data) + (size > 0 ? 1 : 0),
                          size > 0 ? size - 1 : 0);
  const std::string text = bytes.c_str();
  const decodeDREZString decoded(size == 0 ? nullptr : text.c_str(), quote);

  FUZZ_CHECK(decoded.quote == quote);
  FUZZ_CHECK(decoded.tokenCount >= 0 && decoded.tokenCount <= decodeDREZString::MAX_TOKENS);
  for (int i = decoded.tokenCount; i < decodeDREZString::MAX_TOKENS; ++i) {
    FUZZ_CHECK(decoded.tokens[i] == drez_empty_text);
  }
  if (text.empty()) {
    FUZZ_CHECK(decoded.buffer == nullptr && decoded.tokenCount == 0);
    return 0;
  }

  // The buffer is a copy in which only spaces and quotes became NULs.
  const std::size_t length = text.size();
  FUZZ_CHECK(decoded.buffer != nullptr && decoded.buffer != text.c_str());
  FUZZ_CHECK(decoded.buffer[length] == '\0');
  for (std::size_t i = 0; i < length; ++i) {
    const char c = decoded.buffer[i];
    FUZZ_CHECK(c == text[i] || (c == '\0' && (text[i] == ' ' || text[i] == quote)));
  }

  // Token 0 starts the buffer; every later one starts after a NUL, in order.
  FUZZ_CHECK(decoded.tokenCount >= 1 && decoded.tokens[0] == decoded.buffer);
  for (int i = 1; i < decoded.tokenCount; ++i) {
    const char* token = decoded.tokens[i];
    FUZZ_CHECK(token > decoded.tokens[i - 1] && token <= decoded.buffer + length);
    FUZZ_CHECK(token[-1] == '\0');
  }

  if (text.find(quote) == std::string::npos) {
    const std::vector<std::string> words = wordsOf(text);
    FUZZ_CHECK_DETAIL(static_cast<std::size_t>(decoded.tokenCount) == words.size(),
                      std::to_string(decoded.tokenCount) + " tokens, " +
                          std::to_string(words.size()) + " words in \"" + text + "\"");
    for (std::size_t i = 0; i < words.size(); ++i) {
      FUZZ_CHECK_DETAIL(words[i] == decoded.tokens[i], "token " + std::to_string(i) + " \"" +
                                                           decoded.tokens[i] + "\", word \"" +
                                                           words[i] + "\"");
    }
  }
  return 0;
}
