#include "scenario/writer.h"

#include <algorithm>
#include <vector>

#include "scenario/step_table.h"
#include "scenario/words.h"

namespace drezhost {

namespace {

bool fitsOnALine(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// Words a step reads as keywords where a text could also stand: the
// options' keywords.
bool isReserved(const std::string& text) {
  const std::vector<std::string>& keywords = optionKeywords();
  return std::find(keywords.begin(), keywords.end(), text) != keywords.end();
}

// True when `quote` around `text` reads back as `text`: no such quote
// inside is followed by a blank, which would close the word early.
bool quotes(char quote, const std::string& text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == quote && isBlank(text[i + 1])) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> wordFor(const std::string& text) {
  if (!fitsOnALine(text)) return std::nullopt;
  bool blank = false;
  for (char c : text) blank = blank || isBlank(c);
  if (!text.empty() && !blank && !isQuote(text[0]) && !isReserved(text)) return text;
  for (char quote : {'\'', '"'}) {
    if (quotes(quote, text)) return quote + text + quote;
  }
  return std::nullopt;
}

std::optional<std::string> restFor(const std::string& text, bool unquoted) {
  if (!fitsOnALine(text)) return std::nullopt;
  const bool asWritten = !text.empty() && trimmed(text) == text;
  if (!unquoted) return asWritten ? std::optional<std::string>(text) : std::nullopt;
  // The reader unquotes a rest that starts and ends with one quote and holds
  // no other of it: such a text must be quoted once more.
  const bool looksQuoted = text.size() >= 2 && isQuote(text[0]) && text.back() == text[0] &&
                           text.find(text[0], 1) == text.size() - 1;
  if (asWritten && !looksQuoted) return text;
  for (char quote : {'\'', '"'}) {
    if (text.find(quote) == std::string::npos) return quote + text + quote;
  }
  return std::nullopt;
}

void LineWriter::append(const std::optional<std::string>& piece) {
  if (!piece) {
    fits_ = false;
    return;
  }
  text_ += ' ';
  text_ += *piece;
}

LineWriter& LineWriter::word(const std::string& text) {
  append(wordFor(text));
  return *this;
}

LineWriter& LineWriter::keyword(const std::string& keyword) {
  append(keyword);
  return *this;
}

LineWriter& LineWriter::number(int64_t value) {
  append(std::to_string(value));
  return *this;
}

LineWriter& LineWriter::rest(const std::string& text, bool unquoted) {
  append(restFor(text, unquoted));
  return *this;
}

LineWriter& LineWriter::blockLine(const std::optional<std::string>& line) {
  // Inside a block a line is read trimmed, and "end", a blank line or a
  // comment mean something else.
  const bool fits = line && fitsOnALine(*line) && !line->empty() && trimmed(*line) == *line &&
                    (*line)[0] != '#' && *line != "end";
  if (!fits) {
    fits_ = false;
  } else {
    text_ += "\n  " + *line;
  }
  return *this;
}

LineWriter& LineWriter::end() {
  text_ += "\nend";
  return *this;
}

std::optional<std::string> LineWriter::text() const {
  return fits_ ? std::optional<std::string>(text_) : std::nullopt;
}

std::optional<std::string> writeStep(const StepBody& step) {
  for (const StepForm& form : stepForms()) {
    if (form.index != step.index()) continue;
    LineWriter line(form.phrase);
    // A form that does not say this value leaves it to the next one.
    if (form.write(step, line)) return line.text();
  }
  return std::nullopt;
}

}  // namespace drezhost
