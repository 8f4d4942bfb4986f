// The string component: texts of any bytes through `split`, `toInt`, the
// number constructor, `arg` and `args`, concatenation, comparison, and lists
// built from texts and joined again. Each result is checked against the
// standard library or against another way to the same result.
//
// Input: a sequence of texts, delimiters and numbers (see ByteReader).

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "byte_reader.h"
#include "drez_string.h"
#include "fuzz_check.h"

namespace {

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// A drez_string holds the text up to the first NUL, as from a C string.
drez_string textFrom(ByteReader& in) { return drez_string(in.text().c_str()); }

void checkSplit(const drez_string& text, char delimiter) {
  const std::string& whole = text.str();
  const std::size_t at = whole.find(delimiter);
  drez_string left("stale left");
  drez_string right("stale right");
  const int result = text.split(delimiter, left, right);
  if (delimiter == '\0' || at == std::string::npos) {
    FUZZ_CHECK(result == -1 && left == whole.c_str() && right.length() == 0);
  } else {
    FUZZ_CHECK(result == static_cast<int>(at));
    FUZZ_CHECK(left.str() == whole.substr(0, at) && right.str() == whole.substr(at + 1));
  }
  // Either output may be the string itself.
  drez_string self = text;
  drez_string other;
  self.split(delimiter, self, other);
  FUZZ_CHECK(self == left && other == right);
  self = text;
  self.split(delimiter, other, self);
  FUZZ_CHECK(other == left && self == right);
}

// toInt against strtoll, clamped to the int range.
void checkToInt(const drez_string& text) {
  errno = 0;
  long long expected = std::strtoll(text, nullptr, 10);
  if (expected > INT_MAX) expected = INT_MAX;
  if (expected < INT_MIN) expected = INT_MIN;
  FUZZ_CHECK_DETAIL(text.toInt() == expected,
                    quoted(text.str()) + " gave " + std::to_string(text.toInt()));
  FUZZ_CHECK(drez_string::toInt(static_cast<const char*>(text)) == text.toInt());
}

void checkNumber(int32_t value, char fill, unsigned width, int base) {
  const drez_string plain(value, 0, 0, base);
  const int effectiveBase = base >= 2 && base <= 36 ? base : 10;
  FUZZ_CHECK_DETAIL(std::strtoll(plain, nullptr, effectiveBase) == value,
                    quoted(plain.str()) + " for " + std::to_string(value));
  if (effectiveBase == 10) FUZZ_CHECK(plain.str() == std::to_string(value));
  const drez_string padded(value, fill, width, base);
  std::string expected = plain.str();
  if (fill != 0 && width > expected.size()) expected.insert(0, width - expected.size(), fill);
  FUZZ_CHECK(padded.str() == expected);
}

bool hasPlaceholder(const std::string& text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '%' && text[i + 1] >= '0' && text[i + 1] <= '9') return true;
  }
  return false;
}

// A value that cannot form a placeholder with the text around it: not
// empty, no '%', and no digit first.
bool isInert(const std::string& value) {
  return !value.empty() && value.find('%') == std::string::npos &&
         !(value[0] >= '0' && value[0] <= '9');
}

void checkArgs(const drez_string& format, const std::vector<drez_string>& values) {
  std::vector<const drez_string*> pointers;
  pointers.reserve(values.size());
  for (const drez_string& value : values) pointers.push_back(&value);
  const drez_string oneByOne = format.args(pointers.data(), pointers.size());
  if (!hasPlaceholder(format.str())) {
    FUZZ_CHECK(oneByOne == format);
    if (!values.empty()) FUZZ_CHECK(format.arg(values[0]) == format);
  }
  // With inert values, filling one placeholder at a time and filling them
  // all in one pass come to the same text.
  bool inert = true;
  for (const drez_string& value : values) inert = inert && isInert(value.str());
  if (!inert) return;
  drez_string chained = format;
  for (const drez_string& value : values) chained = chained.arg(value);
  FUZZ_CHECK_DETAIL(chained == oneByOne, quoted(chained.str()) + " and " + quoted(oneByOne.str()) +
                                             " from " + quoted(format.str()));
}

void checkConcatenation(const drez_string& a, const drez_string& b) {
  const std::string joined = a.str() + b.str();
  FUZZ_CHECK((a + b).str() == joined);
  FUZZ_CHECK((a + static_cast<const char*>(b)).str() == joined);
  FUZZ_CHECK((static_cast<const char*>(a) + b).str() == joined);
  FUZZ_CHECK((drez_string(a) + b).str() == joined);
  FUZZ_CHECK((drez_string(a) + static_cast<const char*>(b)).str() == joined);
  drez_string appended = a;
  appended += b;
  FUZZ_CHECK(appended.str() == joined && appended.length() == joined.size());
  const bool same = a.str() == b.str();
  FUZZ_CHECK((a == b) == same && (a != b) == !same);
  FUZZ_CHECK((a == static_cast<const char*>(b)) == same);
  FUZZ_CHECK((a != static_cast<const char*>(b)) == !same);
}

void checkList(const drez_string& text, char delimiter, char joiner) {
  if (delimiter == '\0') return;  // a text holds no NUL to split at
  const drez_stringlist list(text, delimiter);
  const std::string& whole = text.str();
  std::size_t expectedCount = 0;
  if (!whole.empty()) {
    expectedCount = 1;
    for (char c : whole) expectedCount += c == delimiter ? 1 : 0;
  }
  FUZZ_CHECK(list.count() == expectedCount);
  FUZZ_CHECK(list.toString(delimiter) == text);

  // Iteration visits every item once, in order; a list built item by item
  // joins to the same text with any delimiter.
  drez_stringlist rebuilt;
  std::string joined;
  std::size_t visited = 0;
  for (drez_stringlistIterator it = list.begin(); it != list.end(); ++it) {
    FUZZ_CHECK(visited < list.count() && (*it) == list[visited]);
    FUZZ_CHECK((*it).str().find(delimiter) == std::string::npos);
    if (visited > 0 && joiner != '\0') joined += joiner;
    joined += (*it).str();
    rebuilt << *it;
    ++visited;
  }
  FUZZ_CHECK(visited == list.count() && rebuilt.count() == list.count());
  FUZZ_CHECK(rebuilt.toString(joiner).str() == joined);
  const drez_stringlist copy = rebuilt;
  FUZZ_CHECK(copy.toString(delimiter) == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  while (!in.empty()) {
    switch (in.byte() % 6) {
      case 0: {
        const drez_string text = textFrom(in);
        checkSplit(text, static_cast<char>(in.byte()));
        break;
      }
      case 1:
        checkToInt(textFrom(in));
        break;
      case 2: {
        const int32_t value = in.int32();
        const char fill = static_cast<char>(in.byte());
        const unsigned width = in.byte();
        checkNumber(value, fill, width, in.byte() % 40);
        break;
      }
      case 3: {
        const drez_string format = textFrom(in);
        std::vector<drez_string> values(in.byte() % 12);
        for (drez_string& value : values) value = textFrom(in);
        checkArgs(format, values);
        break;
      }
      case 4: {
        const drez_string a = textFrom(in);
        checkConcatenation(a, textFrom(in));
        break;
      }
      default: {
        const drez_string text = textFrom(in);
        const char delimiter = static_cast<char>(in.byte());
        checkList(text, delimiter, static_cast<char>(in.byte()));
        break;
      }
    }
  }
  return 0;
}
