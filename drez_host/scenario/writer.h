// Writes the scenario language: words that the word reader (words.h) reads
// back as the same text, and whole steps (through the step table's writers).
// Everything that makes scenario lines (monkey, validate, serve, replay)
// writes them here, so that what it writes is what runs.
//
// Not every text fits a scenario line: a line break cannot stand in one, nor
// can a NUL, and a word that holds both "' " and "\" " has no quote left to
// stand between. The writer then says so (nothing instead of a line); it
// never writes a line that reads back as something else.

#ifndef DREZ_HOST_SCENARIO_WRITER_H_
#define DREZ_HOST_SCENARIO_WRITER_H_

#include <cstdint>
#include <optional>
#include <string>

#include "scenario/steps.h"

namespace drezhost {

// The word that reads back as `text`: the text itself when it holds no
// blank, does not start with a quote and is no option's keyword ("path",
// "panel", "to", ...: step_table.h), otherwise the text between quotes.
// Nothing when no word can say it.
std::optional<std::string> wordFor(const std::string& text);

// The rest of a line that reads back as `text`, for the steps that take the
// rest of the line: with `unquoted`, as they lose the quotes of one quoted
// word ("say", "expect reply", "expect error"); otherwise as written ("on",
// "expect sent"). Nothing when no rest can say it.
std::optional<std::string> restFor(const std::string& text, bool unquoted);

// Builds one step's text: its phrase, then words, then, for a block, its
// lines and "end". Once a piece cannot be written the result is nothing.
class LineWriter {
 public:
  explicit LineWriter(const std::string& phrase) : text_(phrase) {}

  // A text word (see wordFor).
  LineWriter& word(const std::string& text);
  // A keyword or a choice, written as it is ("panel", "queued").
  LineWriter& keyword(const std::string& keyword);
  LineWriter& number(int64_t value);
  // The rest of the line (see restFor).
  LineWriter& rest(const std::string& text, bool unquoted);
  // A line of a block, indented: a command text of "expect commands", a
  // line of a reply, or a step's text inside "on" (nothing: the step did
  // not fit).
  LineWriter& blockLine(const std::optional<std::string>& line);
  // Closes a block.
  LineWriter& end();
  // The step's lines, joined by line feeds; nothing when a piece did not fit.
  std::optional<std::string> text() const;

 private:
  void append(const std::optional<std::string>& piece);

  std::string text_;
  bool fits_ = true;
};

// The scenario text of `step`: one line, or a block's lines joined by line
// feeds, without a final line feed. Parsing it gives `step` back. Nothing
// when a text of the step cannot be written in the language.
std::optional<std::string> writeStep(const StepBody& step);

}  // namespace drezhost

#endif  // DREZ_HOST_SCENARIO_WRITER_H_
