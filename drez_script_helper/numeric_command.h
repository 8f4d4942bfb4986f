// Builds a numeric command ("GS 12 45 1 0") in a buffer on the caller's
// stack: no heap allocation, and room for every possible text, so that no
// command is ever cut short (a cut command would switch the wrong output).
// The command operations build theirs with it; a script gets one from
// drez_script_helper::outputStateText. A plain value: copying copies the text.

#ifndef DREZ_SCRIPT_HELPER_NUMERIC_COMMAND_H_
#define DREZ_SCRIPT_HELPER_NUMERIC_COMMAND_H_

#include <cassert>
#include <charconv>
#include <cstdint>
#include <cstring>

class NumericCommand {
 public:
  static constexpr int kMaxOperands = 4;

  // Starts the text with the two-letter `code`.
  explicit NumericCommand(const char (&code)[3]) : length_(2), operands_(0) {
    std::memcpy(text_, code, 3);
  }

  // Appends a space and `value` in signed decimal, as "%d" writes it.
  // At most kMaxOperands times.
  NumericCommand& operator<<(int32_t value) {
    assert(operands_ < kMaxOperands);
    ++operands_;
    text_[length_++] = ' ';
    char* end = std::to_chars(text_ + length_, text_ + kCapacity - 1, value).ptr;
    length_ = static_cast<std::size_t>(end - text_);
    text_[length_] = '\0';
    return *this;
  }

  // Appends " 'ADD'". At most once.
  NumericCommand& addSuffix() {
    std::memcpy(text_ + length_, kSuffix, sizeof kSuffix);
    length_ += sizeof kSuffix - 1;
    return *this;
  }

  const char* text() const { return text_; }

 private:
  static constexpr char kSuffix[] = " 'ADD'";
  static constexpr std::size_t kWidestOperand = sizeof " -2147483648" - 1;
  static constexpr std::size_t kCapacity =
      2 + kMaxOperands * kWidestOperand + (sizeof kSuffix - 1) + 1;
  // "RR" with three ten-digit negative numbers and the suffix: 44 characters.
  static_assert(kCapacity > 2 + 3 * kWidestOperand + sizeof kSuffix - 1, "RR/IR fit");

  char text_[kCapacity];
  std::size_t length_;
  int operands_;
};

#endif  // DREZ_SCRIPT_HELPER_NUMERIC_COMMAND_H_
