#include "capture_format.h"

#include "drez_commands.h"

namespace drezcapture {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int hexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  return -1;
}

}  // namespace

bool carriesReply(const char* text) { return drez_carries_reply(text); }

std::size_t escapeByte(unsigned char byte, char* out) {
  switch (byte) {
    case '"':
    case '\\':
      out[0] = '\\';
      out[1] = static_cast<char>(byte);
      return 2;
    case '\n':
      out[0] = '\\';
      out[1] = 'n';
      return 2;
    case '\r':
      out[0] = '\\';
      out[1] = 'r';
      return 2;
    case '\t':
      out[0] = '\\';
      out[1] = 't';
      return 2;
    default:
      break;
  }
  if (byte >= 0x20 && byte <= 0x7E) {
    out[0] = static_cast<char>(byte);
    return 1;
  }
  out[0] = '\\';
  out[1] = 'x';
  out[2] = kHexDigits[byte >> 4];
  out[3] = kHexDigits[byte & 15];
  return 4;
}

std::size_t escapedLength(const char* data, std::size_t size) {
  std::size_t length = 0;
  char ignored[4];
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char byte = static_cast<unsigned char>(data[i]);
    // The common bytes without the call.
    length += (byte >= 0x20 && byte <= 0x7E && byte != '"' && byte != '\\')
                  ? 1
                  : escapeByte(byte, ignored);
  }
  return length;
}

std::size_t unescapeSequence(const char* at, const char* end, unsigned char* byte) {
  if (end - at < 2 || at[0] != '\\') return 0;
  switch (at[1]) {
    case '"':
    case '\\':
      *byte = static_cast<unsigned char>(at[1]);
      return 2;
    case 'n':
      *byte = '\n';
      return 2;
    case 'r':
      *byte = '\r';
      return 2;
    case 't':
      *byte = '\t';
      return 2;
    case 'x': {
      if (end - at < 4) return 0;
      const int high = hexValue(at[2]);
      const int low = hexValue(at[3]);
      if (high < 0 || low < 0) return 0;
      *byte = static_cast<unsigned char>(high * 16 + low);
      return 4;
    }
    default:
      return 0;
  }
}

}  // namespace drezcapture
