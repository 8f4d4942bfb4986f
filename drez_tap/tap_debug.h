// The tap's debug channel: one line per thing a studio engineer should know
// (the configuration's problems, a library that does not load, a capture
// that cannot be written). OutputDebugStringA on Windows, standard error
// elsewhere, as the panels' own channel (host/drez_debug_output.h) goes by
// default; the tap does not use the panels' framework, so it has its own.
//
// Threading: any thread; lines from two threads may interleave.

#ifndef DREZ_TAP_TAP_DEBUG_H_
#define DREZ_TAP_TAP_DEBUG_H_

#include <cstddef>
#include <cstdint>

namespace dreztap {

// A line built in place, without the heap, from texts and numbers; longer
// lines are cut at kMaxLength characters. Every line starts with
// "drez_tap: "; send adds the line end. A line break or other control byte
// in a text (a path may hold any) is written escaped, "\n", "\x1B", so
// that a line stays one line.
class DebugLine {
 public:
  static constexpr std::size_t kMaxLength = 1000;

  DebugLine();
  DebugLine& operator<<(const char* text);  // null writes "(null)"
  DebugLine& operator<<(int64_t number);
  DebugLine& operator<<(uint64_t number);
  DebugLine& operator<<(int number) { return *this << static_cast<int64_t>(number); }
  const char* text() const { return text_; }

  // Writes the line and its line end to the channel.
  void send();

 private:
  char text_[kMaxLength + 2];
  std::size_t length_ = 0;
};

}  // namespace dreztap

#endif  // DREZ_TAP_TAP_DEBUG_H_
