// Text commands joined from pieces without a temporary string: each piece is
// copied once, straight into the command's buffer. The buffer is inside the
// CommandText, so on the caller's stack, when the command fits there, and
// one heap block of the command's exact length only past that. A command
// built this way allocates nothing in the common case, which is what lets a
// script handle an event without touching the heap.
//
// Threading: plain values, used on the building thread only.

#ifndef DREZ_SCRIPT_HELPER_COMMAND_TEXT_H_
#define DREZ_SCRIPT_HELPER_COMMAND_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "drez_string.h"

// One piece of a command: a text, read where it lies and not copied, so it
// must outlive the CommandText built from it; or a number, written in signed
// decimal as "%d" writes it and held by the piece itself.
class CommandPiece {
 public:
  // A NUL-terminated text; null reads as empty text.
  CommandPiece(const char* text)  // NOLINT(google-explicit-constructor): literals are pieces
      : text_(text != nullptr ? text : ""), length_(std::strlen(text_)) {}
  CommandPiece(const drez_string& text)  // NOLINT(google-explicit-constructor)
      : text_(text), length_(text.length()) {}

  // `value` in signed decimal, as "%d" writes it. Out of line, in the
  // framework's library: the standard formatter's tables, instantiated in a
  // panel's own code, would be exported as unique symbols, which keep the
  // panel's library from ever being unloaded.
  static CommandPiece number(int32_t value);

  const char* data() const { return text_ != nullptr ? text_ : digits_; }
  std::size_t length() const { return length_; }

 private:
  CommandPiece() : text_(nullptr), length_(0) {}

  const char* text_;  // null for a number, which lives in digits_
  std::size_t length_;
  char digits_[12] = {};  // "-2147483648" is the widest
};

// A command joined from its pieces, in order, and NUL-terminated. Throws
// std::bad_alloc when a command past kInlineLength finds no memory; a
// shorter one cannot fail.
class CommandText {
 public:
  // The longest command kept inside the object, without its NUL.
  static constexpr std::size_t kInlineLength = 255;

  // Each piece is a CommandPiece or a text that converts to one. Each is
  // copied by its own instruction sequence, so the lengths of literals fold
  // at compile time where this is inlined.
  template <typename... Pieces>
  explicit CommandText(const Pieces&... pieces) : CommandText(Joined(), CommandPiece(pieces)...) {}
  CommandText(const CommandText&) = delete;
  CommandText& operator=(const CommandText&) = delete;

  // The command; valid while this object lives.
  const char* text() const { return text_; }

 private:
  struct Joined {};
  template <typename... Pieces>
  CommandText(Joined, const Pieces&... pieces) : text_(inline_) {
    const std::size_t length = (pieces.length() + ...);
    if (length > kInlineLength) {
      heap_.reset(new char[length + 1]);
      text_ = heap_.get();
    }
    char* out = text_;
    ((std::memcpy(out, pieces.data(), pieces.length()), out += pieces.length()), ...);
    *out = '\0';
  }

  char inline_[kInlineLength + 1];
  std::unique_ptr<char[]> heap_;  // only for a command past kInlineLength
  char* text_;                    // inline_ or heap_
};

#endif  // DREZ_SCRIPT_HELPER_COMMAND_TEXT_H_
