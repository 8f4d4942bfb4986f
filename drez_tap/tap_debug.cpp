#include "tap_debug.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>

#include <cerrno>
#endif

namespace dreztap {

DebugLine::DebugLine() {
  text_[0] = '\0';
  *this << "drez_tap: ";
}

DebugLine& DebugLine::operator<<(const char* text) {
  if (text == nullptr) text = "(null)";
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (; *text != '\0'; ++text) {
    const unsigned char byte = static_cast<unsigned char>(*text);
    char escaped[4] = {static_cast<char>(byte)};
    std::size_t length = 1;
    // A line break, or any control byte, in a path would end the line.
    if (byte == '\n' || byte == '\r' || byte == '\t') {
      escaped[0] = '\\';
      escaped[1] = byte == '\n' ? 'n' : byte == '\r' ? 'r' : 't';
      length = 2;
    } else if (byte < 0x20 || byte == 0x7F) {
      escaped[0] = '\\';
      escaped[1] = 'x';
      escaped[2] = kHex[byte >> 4];
      escaped[3] = kHex[byte & 15];
      length = 4;
    }
    if (kMaxLength - length_ < length) break;
    std::memcpy(text_ + length_, escaped, length);
    length_ += length;
  }
  text_[length_] = '\0';
  return *this;
}

DebugLine& DebugLine::operator<<(uint64_t number) {
  char digits[24];
  std::size_t count = sizeof digits - 1;
  digits[count] = '\0';
  do {
    digits[--count] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  return *this << (digits + count);
}

DebugLine& DebugLine::operator<<(int64_t number) {
  if (number < 0) {
    *this << "-";
    return *this << (0 - static_cast<uint64_t>(number));
  }
  return *this << static_cast<uint64_t>(number);
}

void DebugLine::send() {
  text_[length_] = '\n';
  text_[length_ + 1] = '\0';
#if defined(_WIN32)
  OutputDebugStringA(text_);
#else
  // Straight to the descriptor: nothing buffered is lost when the host dies.
  std::size_t written = 0;
  while (written < length_ + 1) {
    const ssize_t now = ::write(2, text_ + written, length_ + 1 - written);
    if (now < 0 && errno == EINTR) continue;
    if (now <= 0) break;
    written += static_cast<std::size_t>(now);
  }
#endif
  text_[length_] = '\0';
}

}  // namespace dreztap
