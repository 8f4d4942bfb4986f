// The reply tokenizer: splits a host reply into space-separated tokens, with
// a quote character that keeps spaces inside a token.

#ifndef DREZ_SCRIPT_HELPER_DECODE_DREZ_STRING_H_
#define DREZ_SCRIPT_HELPER_DECODE_DREZ_STRING_H_

#include <cstdint>

// Decodes at construction; the user then reads `tokenCount` and `tokens`.
//
// Rules: token 0 starts at the first character, whatever it is. Outside
// quotes a space (character 32 only) ends a token and `quote` opens a quoted
// stretch; inside one, `quote` closes it and every other character, spaces
// included, is kept. Text right after a closing quote starts a new token;
// quotes that enclose nothing give an empty token; an unclosed quote runs to
// the end. Thus " a" gives "" and "a", and "'a b' c" gives "", "a b" and "c".
// At most MAX_TOKENS tokens are kept; decoding stops where one more would
// begin.
//
// Every entry of `tokens` is readable: entries past the last token point at
// a shared empty text. Tokens point into `buffer`, the tokenizer's own copy,
// freed by the destructor. Never copied; lives inside the call that uses it.
class decodeDREZString {
 public:
  enum { MAX_TOKENS = 32 };

  // `text` may be null. Throws std::bad_alloc when the copy cannot be made.
  decodeDREZString(const char* text, char quote);
  virtual ~decodeDREZString();
  decodeDREZString(const decodeDREZString&) = delete;
  decodeDREZString& operator=(const decodeDREZString&) = delete;

  const char* tokens[MAX_TOKENS];
  int32_t tokenCount;  // 0 for null or empty text, else 1 to MAX_TOKENS
  char* buffer;        // null for null or empty text
  char quote;
};

#endif  // DREZ_SCRIPT_HELPER_DECODE_DREZ_STRING_H_
