// Reads the scenario language line by line into steps, through the step
// table (step_table.h). Blank lines and lines whose first non-blank
// character is '#' are skipped; a UTF-8 byte-order mark in front of the
// first line is no part of it. Some steps open a block of lines closed by
// "end", as their row says: "expect commands" a block of command texts, one
// a line; "expect reply" alone the lines of a reply; "on <command>" a block
// of "set" and "route" steps. words.h says how words are read.
//
// An "include" step is read like any other; scenario_files.h reads the
// file it names, with a parser whose steps carry where it was included.

#ifndef DREZ_HOST_SCENARIO_PARSER_H_
#define DREZ_HOST_SCENARIO_PARSER_H_

#include <cstddef>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scenario/steps.h"

namespace drezhost {

struct StepForm;

class ScenarioParser {
 public:
  // `file` names the source in messages ("<terminal>" for a terminal);
  // `includedFrom` (may be null) is where that file was included, which
  // every step and message carries.
  explicit ScenarioParser(std::string file, std::shared_ptr<const Inclusion> includedFrom = nullptr)
      : file_(std::move(file)), includedFrom_(std::move(includedFrom)) {}

  // Reads the next line. Returns the step it completes, or nothing for a
  // blank or comment line or a line inside a block. Throws ScenarioError
  // for a line that does not fit the language; the parser is then ready for
  // the next line, with any open block dropped.
  std::optional<Step> feed(const std::string& line);
  // The same into `step`, whose room (its texts) serves every line: true
  // when the line completes a step, which `step` then holds. On false or a
  // throw, `step` holds nothing the caller should read.
  bool feed(const std::string& line, Step& step);
  // True while a block waits for its "end".
  bool inBlock() const { return block_.has_value(); }
  // At the end of the input: throws when a block is still open.
  void finish();
  // The number of the last line fed.
  int line() const { return line_; }
  // The next line was longer than kLineLimit (ScenarioLines cut it):
  // throws ScenarioError for it, as for a line that does not parse.
  void tooLong();

  // The longest line a scenario may hold.
  static constexpr std::size_t kLineLimit = std::size_t{1024} * 1024;

 private:
  // Reads `text`, a trimmed line, into `step`.
  void parse(std::string_view text, Step& step, const StepForm** form, bool* opensBlock);

  // What a line read before read as. A long scenario is made by a program
  // and says the same few lines again and again (a slot's states, a
  // router's sources, event ids): a line found here costs a hash, a
  // comparison and a copy of its step instead of a parse. Direct-mapped,
  // kParsedSlots slots from the first line on; a slot keeps the last line
  // of its hash that parsed, and that line's step once it is read again.
  struct Parsed {
    std::string text;
    StepBody body;
    const StepForm* form = nullptr;  // null: `body` is not kept (yet)
    bool opensBlock = false;
  };
  static constexpr unsigned kParsedBits = 9;
  static constexpr std::size_t kParsedSlots = std::size_t{1} << kParsedBits;
  std::vector<Parsed> parsed_;

  std::string file_;
  std::shared_ptr<const Inclusion> includedFrom_;
  int line_ = 0;
  std::optional<Step> block_;
  const StepForm* blockForm_ = nullptr;  // the form of block_
};

// The lines of a scenario's stream, read a block at a time: a line costs a
// search for its line feed and a copy, not a call into the stream. Reads
// only what the stream holds, and waits only when it holds nothing, so that
// lines coming down a pipe are read as they come. Reads nothing else from
// `in` while it is in use, and leaves it at its end.
class ScenarioLines {
 public:
  explicit ScenarioLines(std::istream& in) : in_(in) {}

  // The next line, without its line feed, into `line` (its room used
  // again); false at the end. A line longer than ScenarioParser::kLineLimit
  // is cut there, the rest of it skipped, and `*cut` set: no line can take
  // all memory.
  bool next(std::string& line, bool* cut);

 private:
  static constexpr std::size_t kBlock = 16384;
  // Takes the next bytes of the stream into the block; false at its end.
  bool fill();

  std::istream& in_;
  std::vector<char> block_;  // kBlock bytes from the first fill on
  std::size_t at_ = 0;       // the next byte of the block to read
  std::size_t end_ = 0;      // past the block's last byte
};

// Reads a whole scenario. Throws ScenarioError at the first bad line.
std::vector<Step> parseScenario(std::istream& in, const std::string& file);

}  // namespace drezhost

#endif  // DREZ_HOST_SCENARIO_PARSER_H_
