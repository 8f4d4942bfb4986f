#include "decode_drez_string.h"

#include <cstring>

#include "drez_records.h"

decodeDREZString::decodeDREZString(const char* text, char quote_char)
    : tokenCount(0), buffer(nullptr), quote(quote_char) {
  for (const char*& token : tokens) token = drez_empty_text;
  const std::size_t length = text != nullptr ? std::strlen(text) : 0;
  if (length == 0) return;

  buffer = new char[length + 1];
  std::memcpy(buffer, text, length + 1);
  tokens[tokenCount++] = buffer;
  bool quoted = false;
  for (std::size_t at = 0; at < length; ++at) {
    const char c = buffer[at];
    bool begins_token;
    if (c == quote) {
      buffer[at] = '\0';
      // A closing quote right after an opening one encloses an empty token.
      begins_token = quoted && at > 0 && buffer[at - 1] == '\0';
      quoted = !quoted;
    } else if (c == ' ' && !quoted) {
      buffer[at] = '\0';
      begins_token = false;
    } else {
      begins_token = at > 0 && buffer[at - 1] == '\0';
    }
    if (begins_token) {
      if (tokenCount == MAX_TOKENS) break;
      tokens[tokenCount++] = buffer + at;
    }
  }
}

decodeDREZString::~decodeDREZString() { delete[] buffer; }
