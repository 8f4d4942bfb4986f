// Reads the scenario language line by line into steps. Blank lines and lines
// whose first non-blank character is '#' are skipped. Words are separated by
// blanks; a word with blanks goes between single or double quotes (no
// escapes; each kind of quote may stand inside the other). "expect commands"
// opens a block of command texts, one a line, closed by "end"; "on <command>"
// opens a block of "set" and "route" steps, closed by "end".

#ifndef DREZ_HOST_PROGRAM_SCENARIO_PARSER_H_
#define DREZ_HOST_PROGRAM_SCENARIO_PARSER_H_

#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "scenario.h"

namespace drezhost {

class ScenarioParser {
 public:
  // `file` names the source in messages ("-" or "<stdin>" for a terminal).
  explicit ScenarioParser(std::string file) : file_(std::move(file)) {}

  // Reads the next line. Returns the step it completes, or nothing for a
  // blank or comment line or a line inside a block. Throws ScenarioError
  // for a line that does not fit the language; the parser is then ready for
  // the next line, with any open block dropped.
  std::optional<Step> feed(const std::string& line);
  // True while a block waits for its "end".
  bool inBlock() const { return block_.has_value(); }
  // At the end of the input: throws when a block is still open.
  void finish();

 private:
  Step parse(const std::string& line, bool* opensBlock);

  std::string file_;
  int line_ = 0;
  std::optional<Step> block_;
};

// Reads a whole scenario. Throws ScenarioError at the first bad line.
std::vector<Step> parseScenario(std::istream& in, const std::string& file);

// A summary of the language, one usage line per step.
std::string scenarioHelp();

}  // namespace drezhost

#endif  // DREZ_HOST_PROGRAM_SCENARIO_PARSER_H_
