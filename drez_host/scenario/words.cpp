#include "scenario/words.h"

#include <charconv>
#include <stdexcept>

#include "simulator/trace.h"

namespace drezhost {

std::string trimmed(const std::string& text) { return std::string(trimmedView(text)); }

std::string_view trimmedView(std::string_view text) {
  // By hand: every line of a scenario passes here.
  const auto trimmable = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && trimmable(text[first])) ++first;
  while (last > first && trimmable(text[last - 1])) --last;
  return text.substr(first, last - first);
}

bool WordReader::done() {
  while (pos_ < line_.size() && isBlank(line_[pos_])) ++pos_;
  return pos_ >= line_.size();
}

bool WordReader::peek(const char* keyword) {
  const std::size_t start = pos_;
  bool quoted = false;
  const bool match = !done() && span(&quoted) == keyword && !quoted;
  pos_ = start;
  return match;
}

bool WordReader::accept(const char* keyword) {
  if (!peek(keyword)) return false;
  bool quoted = false;
  done();  // onto the word
  span(&quoted);
  return true;
}

std::string WordReader::text(std::string_view what) {
  std::string word;
  text(what, word);
  return word;
}

void WordReader::text(std::string_view what, std::string& word) { word.assign(view(what)); }

std::string_view WordReader::view(std::string_view what) {
  if (done()) {
    throw std::invalid_argument("expected " + std::string(what) + ", found the end of the line");
  }
  bool quoted = false;
  return span(&quoted);
}

std::string WordReader::choice(std::string_view what, std::initializer_list<const char*> choices) {
  std::string word = text(what);
  for (const char* choice : choices) {
    if (word == choice) return word;
  }
  throw std::invalid_argument("expected " + std::string(what) + ", found '" + shownText(word) +
                              "'");
}

int32_t WordReader::integer(std::string_view what) {
  if (done()) {
    throw std::invalid_argument("expected " + std::string(what) +
                                " (an integer), found the end of the line");
  }
  bool quoted = false;
  const std::string_view word = span(&quoted);
  int32_t value = 0;
  auto result = std::from_chars(word.data(), word.data() + word.size(), value);
  const bool whole = result.ptr == word.data() + word.size();
  if (!word.empty() && whole && result.ec == std::errc::result_out_of_range) {
    throw std::invalid_argument("expected " + std::string(what) + " (an integer), found '" +
                                shownText(std::string(word)) +
                                "', which is outside -2147483648 to 2147483647");
  }
  if (word.empty() || result.ec != std::errc() || !whole) {
    throw std::invalid_argument("expected " + std::string(what) + " (an integer), found '" +
                                shownText(std::string(word)) + "'");
  }
  return value;
}

int32_t WordReader::atLeast(std::string_view what, int32_t least) {
  const int32_t value = integer(what);
  if (value < least) {
    throw std::invalid_argument("expected " + std::string(what) + " of " + std::to_string(least) +
                                " or more, found " + std::to_string(value));
  }
  return value;
}

void WordReader::rest(std::string_view what, bool unquote, std::string& text) {
  if (done()) {
    throw std::invalid_argument("expected " + std::string(what) + ", found the end of the line");
  }
  const std::string_view rest = trimmedView(std::string_view(line_).substr(pos_));
  pos_ = line_.size();
  const bool oneQuoted = rest.size() >= 2 && isQuote(rest[0]) && rest.back() == rest[0] &&
                         rest.find(rest[0], 1) == rest.size() - 1;
  text.assign(unquote && oneQuoted ? rest.substr(1, rest.size() - 2) : rest);
}

void WordReader::end() {
  if (!done())
    throw std::invalid_argument("unexpected '" + shownText(text("")) + "' at the end of the line");
}

std::string_view WordReader::span(bool* quoted) {
  const std::string_view line(line_);
  const std::size_t start = pos_;
  *quoted = isQuote(line[start]);
  if (!*quoted) {
    while (pos_ < line.size() && !isBlank(line[pos_])) ++pos_;
    return line.substr(start, pos_ - start);
  }
  // The closing quote is the first one that ends the word: a quote with a
  // letter after it is part of the text.
  std::size_t close = line.find(line[start], start + 1);
  while (close != std::string::npos && close + 1 < line.size() && !isBlank(line[close + 1])) {
    close = line.find(line[start], close + 1);
  }
  if (close == std::string::npos) {
    throw std::invalid_argument(
        "a quote is not closed (a closing quote is followed by a blank "
        "or the end of the line)");
  }
  pos_ = close + 1;
  return line.substr(start + 1, close - start - 1);
}

}  // namespace drezhost
