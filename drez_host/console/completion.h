// What Tab offers at drez-host -i: the step words of the step table, and
// for each operand what its kind names (scenario/step_table.h) among the
// names of the live installation that the child's question carries: the
// devices of the kind the step takes, the slots of the infodriver just
// named, the controls of the loaded panels, the scripts alive, ... Names
// are put in as the language's writer writes them (wordFor).
//
// The completion knows no step by name: a step added to the table is
// completed as its operands say.
//
// Threading: plain code without state, the same on every build.

#ifndef DREZ_HOST_CONSOLE_COMPLETION_H_
#define DREZ_HOST_CONSOLE_COMPLETION_H_

#include <cstddef>
#include <string>
#include <vector>

#include "console/line_editor.h"

namespace drezhost {

// The phrase of the step form `line` begins with ("expect no reply"), or
// empty text when it begins none.
std::string phraseOf(const std::string& line);

// What may stand where the cursor is, the text before it being `before`.
struct Completion {
  struct Candidate {
    std::string word;  // as it is inserted: "'RIR Tally Infodriver'"
    std::string text;  // what it says: "RIR Tally Infodriver"
  };
  // The word being typed: the end of `before` from its last word's start
  // (empty after a blank).
  std::string partial;
  // Every word that may stand there, whether it fits the partial or not.
  std::vector<Candidate> candidates;
  // Words that are not candidates may stand there too (a new name, a text,
  // a number): an empty partial is then not completed, only hinted.
  bool open = false;
  // The usage line of the step that the words before name ("set
  // <infodriver> <slot> <text>"); empty while no step is named yet.
  std::string usage;
};
Completion completeLine(const std::string& before, const LineQuestion& question);

// What one Tab does to the line: take away `erase` characters (not bytes)
// before the cursor, the word being typed, insert `insert`, and show
// `shown` above the line.
// Nothing at all: there is nothing to offer.
struct TabAction {
  std::size_t erase = 0;
  std::string insert;
  std::vector<std::string> shown;
  bool nothing() const { return erase == 0 && insert.empty() && shown.empty(); }
};
// `columns`: the terminal's width, for the list of candidates.
TabAction tabAction(const std::string& before, const LineQuestion& question, int columns);

}  // namespace drezhost

#endif  // DREZ_HOST_CONSOLE_COMPLETION_H_
