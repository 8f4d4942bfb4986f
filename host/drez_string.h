// Text and text-list values used at every interface of a panel script.
//
// drez_string is a value type holding NUL-free text; drez_stringlist an
// ordered list of them. Both own their storage, copy on copy, and are not
// synchronised: use an object from one thread at a time. Operations that
// allocate throw std::bad_alloc when memory runs out; nothing else throws.

#ifndef DREZ_HOST_DREZ_STRING_H_
#define DREZ_HOST_DREZ_STRING_H_

#include <cstddef>
#include <string>
#include <vector>

class drez_string {
 public:
  // Empty text.
  drez_string() = default;
  // Copies the NUL-terminated `text`; a null `text` gives empty text.
  drez_string(const char* text);  // NOLINT(google-explicit-constructor): used as text literal
  // The text of `value` in `base` (2 to 36; any other base means 10), padded
  // on the left with `fill` to `width` characters. A `fill` of 0 means no
  // padding: (62, 0, 0, 10) gives "62", (-5, 0, 0, 10) gives "-5".
  drez_string(int value, char fill, unsigned width, int base);
  drez_string(const drez_string&) = default;
  drez_string(drez_string&&) noexcept = default;
  virtual ~drez_string() = default;

  drez_string& operator=(const drez_string&) = default;
  drez_string& operator=(drez_string&&) noexcept = default;
  // Copies `text`; null gives empty text.
  drez_string& operator=(const char* text);
  drez_string& operator+=(const drez_string& tail);
  drez_string& operator+=(const char* tail);

  // Fills a placeholder. A placeholder is '%' followed by one or two decimal
  // digits ("%1" to "%99"; "%0" counts as number 0). Returns a copy of this
  // text in which every occurrence of the lowest-numbered placeholder present
  // is replaced by `value`; with no placeholder the copy is unchanged.
  // Chained calls fill "%1", "%2", ... in order. Each call scans the whole
  // text again, so a placeholder inside text an earlier call inserted is
  // filled too: to insert text from outside, use `args`.
  drez_string arg(const drez_string& value) const;

  // Fills `count` placeholders in one pass: `values[0]` replaces the lowest
  // number present, `values[1]` the next, and so on; numbers beyond `count`
  // stay as they are, and values beyond the numbers present change nothing.
  // Text that is inserted is never scanned again, so a '%' inside a value
  // reaches the result unchanged. No entry of `values` may be null.
  drez_string args(const drez_string* const* values, std::size_t count) const;

  // Cuts the text at the first `delimiter`: `left` receives the text before
  // it and `right` the text after it. Without `delimiter`, `left` receives
  // the whole text and `right` empty text. Returns the delimiter's position,
  // or -1 when there is none. `left` and `right` may be this string.
  int split(char delimiter, drez_string& left, drez_string& right) const;

  // Number of characters.
  std::size_t length() const { return text_.size(); }

  // The integer the text begins with: leading white space is skipped, then an
  // optional '+' or '-' and the decimal digits up to the first other
  // character are read. Text without digits gives 0; a number beyond the int
  // range gives INT_MAX or INT_MIN.
  int toInt() const;
  // The same conversion of a NUL-terminated `text`; null gives 0.
  static int toInt(const char* text);

  // The NUL-terminated text; never null. Valid while this string lives and
  // is not changed.
  operator const char*() const { return text_.c_str(); }  // NOLINT(google-explicit-constructor)

  // The same text as a standard string.
  const std::string& str() const { return text_; }

  // Makes room for `capacity` characters, so that appending up to that
  // length allocates no further.
  void reserve(std::size_t capacity) { text_.reserve(capacity); }

 private:
  std::string text_;
};

drez_string operator+(const drez_string& head, const drez_string& tail);
drez_string operator+(const drez_string& head, const char* tail);
drez_string operator+(const char* head, const drez_string& tail);
// Appending to a temporary reuses its storage, so a chain a + b + c + ...
// grows one buffer instead of making a new string at every step.
drez_string operator+(drez_string&& head, const drez_string& tail);
drez_string operator+(drez_string&& head, const char* tail);

// Exact, case-sensitive comparison of the whole text. A null `text` equals
// empty text.
bool operator==(const drez_string& a, const drez_string& b);
bool operator==(const drez_string& a, const char* text);
bool operator!=(const drez_string& a, const drez_string& b);
bool operator!=(const drez_string& a, const char* text);

class drez_stringlistIterator;

class drez_stringlist {
 public:
  // Empty list.
  drez_stringlist() = default;
  // One item per `delimiter`-separated piece of `text`, in order. Empty
  // pieces are kept as empty items ("a,,b" gives "a", "" and "b"; "a," gives
  // "a" and ""), except that empty `text` gives an empty list.
  drez_stringlist(const drez_string& text, char delimiter);
  drez_stringlist(const drez_stringlist&) = default;
  drez_stringlist(drez_stringlist&&) noexcept = default;
  drez_stringlist& operator=(const drez_stringlist&) = default;
  drez_stringlist& operator=(drez_stringlist&&) noexcept = default;
  virtual ~drez_stringlist() = default;

  // Appends a copy of `item`; returns this list for chaining.
  drez_stringlist& operator<<(const drez_string& item);

  // Iterators over the items in order. Changing the list invalidates them.
  drez_stringlistIterator begin() const;
  drez_stringlistIterator end() const;

  std::size_t count() const { return items_.size(); }
  // Item `i`; `i` must be below count().
  const drez_string& operator[](std::size_t i) const { return items_[i]; }

  // The items joined with `delimiter` between each two of them: a one-item
  // list gives that item alone, an empty list empty text.
  drez_string toString(char delimiter) const;

 private:
  std::vector<drez_string> items_;
};

class drez_stringlistIterator {
 public:
  // The item this iterator stands at; must not be end().
  const drez_string& operator*() const { return (*list_)[position_]; }
  drez_stringlistIterator& operator++() {
    ++position_;
    return *this;
  }
  bool operator==(const drez_stringlistIterator& other) const {
    return list_ == other.list_ && position_ == other.position_;
  }
  bool operator!=(const drez_stringlistIterator& other) const { return !(*this == other); }

 private:
  friend class drez_stringlist;
  drez_stringlistIterator(const drez_stringlist* list, std::size_t position)
      : list_(list), position_(position) {}

  const drez_stringlist* list_;
  std::size_t position_;
};

#endif  // DREZ_HOST_DREZ_STRING_H_
