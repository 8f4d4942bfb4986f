#include "drez_string.h"

#include <climits>
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

}  // namespace

drez_string::drez_string(const char* text) {
  if (text != nullptr) text_ = text;
}

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
  // Which placeholder numbers are present decides which value fills which.
  bool present[kMaxPlaceholder + 1] = {};
  int number = 0;
  std::size_t size = 0;
  for (std::size_t at = 0; at < text_.size(); ++at) {
    if (placeholder_at(text_, at, number, size)) present[number] = true;
  }
  const drez_string* fill_for[kMaxPlaceholder + 1] = {};
  std::size_t next = 0;
  for (int n = 0; n <= kMaxPlaceholder && next < count; ++n) {
    if (present[n]) fill_for[n] = values[next++];
  }
  if (next == 0) return *this;

  drez_string result;
  result.text_.reserve(text_.size());
  for (std::size_t at = 0; at < text_.size();) {
    if (placeholder_at(text_, at, number, size) && fill_for[number] != nullptr) {
      result.text_ += fill_for[number]->text_;
      at += size;
    } else {
      result.text_ += text_[at++];
    }
  }
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

int drez_string::toInt(const char* p) {
  if (p == nullptr) return 0;
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
  return a.str() == (text != nullptr ? text : "");
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
