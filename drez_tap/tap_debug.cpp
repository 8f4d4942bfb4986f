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
  const std::size_t room = kMaxLength - length_;
  std::size_t length = std::strlen(text);
  if (length > room) length = room;
  std::memcpy(text_ + length_, text, length);
  length_ += length;
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
