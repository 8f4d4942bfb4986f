#include "drez_string.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

constexpr int kMaxPlaceholder = 99;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads the placeholder at `text[at]`, if there is one: sets `number` and
// `size` (2 or 3 characters) and returns true.
bool placeholder_at(const std::string& text, std::size_t at, int& number, std::size_t& size) {
  if (text[at] != '%' || at + 1 >= text.size() || !is_digit(text[at + 1])) return false;
  number = text[at + 1] - '0';
  size = 2;
  if (at + 2 < text.size() && is_digit(text[at + 2])) {
    number = number * 10 + (text[at + 2] - '0');
    size = 3;
  }
  return true;
}

// The placeholder numbers (0 to kMaxPlaceholder) a text holds: two words,
// so that a short text costs no table to clear or walk.
class PlaceholderSet {
 public:
  void add(int number) { words_[number / 64] |= bit(number); }
  std::size_t size() const { return bits(words_[0]) + bits(words_[1]); }
  // How many numbers below `number` the set holds.
  std::size_t rank(int number) const {
    const uint64_t below = bit(number) - 1;
    return number < 64 ? bits(words_[0] & below) : bits(words_[0]) + bits(words_[1] & below);
  }

 private:
  static uint64_t bit(int number) { return uint64_t{1} << (number % 64); }
  // A text holds few placeholders: one step per number present.
  static std::size_t bits(uint64_t word) {
    std::size_t count = 0;
    for (; word != 0; word &= word - 1) ++count;
    return count;
  }

  uint64_t words_[2] = {0, 0};
};
static_assert(kMaxPlaceholder < 128, "two words hold every placeholder number");

}  // namespace

// Constructs the text in place: assigning to an empty std::string would go
// through its general replace, several times the work for the short literals
// that scripts turn into operands on every command.
drez_string::drez_string(const char* text) : text_(text != nullptr ? text : "") {}

drez_string::drez_string(int value, char fill, unsigned width, int base) {
  if (base < 2 || base > 36) base = 10;
  // Work on the magnitude as unsigned so that INT_MIN has one too.
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  char digits[sizeof(unsigned) * CHAR_BIT + 1];
  std::size_t count = 0;
  do {
    digits[count++] = "0123456789abcdefghijklmnopqrstuvwxyz"[magnitude % base];
    magnitude /= base;
  } while (magnitude != 0);
  if (value < 0) digits[count++] = '-';
  if (fill != 0 && width > count) text_.assign(width - count, fill);
  while (count > 0) text_ += digits[--count];
}

drez_string& drez_string::operator=(const char* text) {
  if (text == nullptr) {
    text_.clear();
  } else {
    text_ = text;
  }
  return *this;
}

drez_string& drez_string::operator+=(const drez_string& tail) {
  text_ += tail.text_;
  return *this;
}

drez_string& drez_string::operator+=(const char* tail) {
  if (tail != nullptr) text_ += tail;
  return *this;
}

drez_string drez_string::arg(const drez_string& value) const {
  const drez_string* values[] = {&value};
  return args(values, 1);
}

drez_string drez_string::args(const drez_string* const* values, std::size_t count) const {
  // Which placeholder numbers are present decides which value fills which:
  // number n takes the value at n's rank among the numbers present.
  PlaceholderSet present;
  int number = 0;
  std::size_t size = 0;
  for (std::size_t at = 0; at < text_.size(); ++at) {
    if (placeholder_at(text_, at, number, size)) present.add(number);
  }
  const std::size_t filled = std::min(count, present.size());
  if (filled == 0) return *this;

  drez_string result;
  std::size_t capacity = text_.size();
  for (std::size_t i = 0; i < filled; ++i) capacity += values[i]->text_.size();
  result.text_.reserve(capacity);
  std::size_t copied = 0;  // text_ before this is in result
  for (std::size_t at = 0; at < text_.size(); ++at) {
    if (!placeholder_at(text_, at, number, size)) continue;
    const std::size_t rank = present.rank(number);
    if (rank >= filled) continue;
    result.text_.append(text_, copied, at - copied);
    result.text_ += values[rank]->text_;
    copied = at + size;
    at = copied - 1;
  }
  result.text_.append(text_, copied, std::string::npos);
  return result;
}

int drez_string::split(char delimiter, drez_string& left, drez_string& right) const {
  const std::size_t at = text_.find(delimiter);
  if (at == std::string::npos) {
    std::string whole = text_;  // `left` or `right` may be *this
    right.text_.clear();
    left.text_ = std::move(whole);
    return -1;
  }
  std::string before = text_.substr(0, at);
  std::string after = text_.substr(at + 1);
  left.text_ = std::move(before);
  right.text_ = std::move(after);
  return static_cast<int>(at);
}

int drez_string::toInt() const { return toInt(text_.c_str()); }

int drez_string::toInt(const char* text) {
  const char* p = text;
  if (p == nullptr) return 0;
  // What hosts send most (a tally slot's state or mode) is one digit: a
  // fifth of the work, on every such event.
  if (is_digit(p[0]) && p[1] == '\0') return p[0] - '0';
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  // Accumulate towards the sign's own limit so INT_MIN needs no special case.
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  long long magnitude = 0;
  for (; is_digit(*p); ++p) {
    magnitude = magnitude * 10 + (*p - '0');
    if (magnitude > limit) {
      magnitude = limit;
      while (is_digit(p[1])) ++p;
    }
  }
  return static_cast<int>(negative ? -magnitude : magnitude);
}

drez_string operator+(const drez_string& head, const drez_string& tail) {
  drez_string result;
  result.reserve(head.length() + tail.length());
  result += head;
  result += tail;
  return result;
}

drez_string operator+(const drez_string& head, const char* tail) {
  drez_string result;
  result.reserve(head.length() + (tail != nullptr ? std::strlen(tail) : 0));
  result += head;
  result += tail;
  return result;
}

drez_string operator+(const char* head, const drez_string& tail) {
  drez_string result;
  result.reserve((head != nullptr ? std::strlen(head) : 0) + tail.length());
  result += head;
  result += tail;
  return result;
}

drez_string operator+(drez_string&& head, const drez_string& tail) {
  head += tail;
  return std::move(head);
}

drez_string operator+(drez_string&& head, const char* tail) {
  head += tail;
  return std::move(head);
}

bool operator==(const drez_string& a, const drez_string& b) { return a.str() == b.str(); }

bool operator==(const drez_string& a, const char* text) {
  // Lengths first: most comparisons in a request's dispatch differ there.
  if (text == nullptr) return a.length() == 0;
  const std::size_t length = std::strlen(text);
  return a.length() == length && std::memcmp(a.str().data(), text, length) == 0;
}

bool operator!=(const drez_string& a, const drez_string& b) { return !(a == b); }

bool operator!=(const drez_string& a, const char* text) { return !(a == text); }

drez_stringlist::drez_stringlist(const drez_string& text, char delimiter) {
  const std::string& whole = text.str();
  if (whole.empty()) return;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = whole.find(delimiter, start);
    items_.emplace_back(whole.substr(start, at - start).c_str());
    if (at == std::string::npos) break;
    start = at + 1;
  }
}

drez_stringlist& drez_stringlist::operator<<(const drez_string& item) {
  items_.push_back(item);
  return *this;
}

drez_stringlistIterator drez_stringlist::begin() const { return {this, 0}; }

drez_stringlistIterator drez_stringlist::end() const { return {this, items_.size()}; }

drez_string drez_stringlist::toString(char delimiter) const {
  drez_string result;
  std::size_t total = items_.size();
  for (const drez_string& item : items_) total += item.length();
  result.reserve(total);
  const char separator[] = {delimiter, '\0'};
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (i > 0) result += separator;
    result += items_[i];
  }
  return result;
}
