// The forms of the scenario language, one row each: the words that name the
// form ("expect no reply"), its typed operands, and what its block holds.
// The parser, the writer, the help text (and the manual's grammar, which a
// test holds against it), the completion of an interactive line and serve's
// page actions are all made from this one table: none of them knows a step
// by name.
//
// A row binds each operand to a field of its step's struct (steps.h), so
// that reading and writing a line are the same walk over the operands: a
// positional operand in its place, then the options ("panel <id>", "to
// <script>") in any order.

#ifndef DREZ_HOST_SCENARIO_STEP_TABLE_H_
#define DREZ_HOST_SCENARIO_STEP_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "scenario/steps.h"
#include "scenario/words.h"
#include "scenario/writer.h"

namespace drezhost {

// The sections of the help text.
enum class StepGroup { Installation, Action, Expectation };

// What an operand names: how it is read, and what may stand there.
enum class OperandKind {
  Text,           // any word: a new name, a value, a message
  Number,         // an integer in signed decimal
  Choice,         // one of the operand's `choices`
  Colour,         // a name of `choices`, or #rgb / #rrggbb
  File,           // a path, relative to the folder of the scenario
  Device,         // a device of the installation, by one of its names
  Infodriver,     // ... that is an infodriver
  Router,         // ... that is a router
  OutputDevice,   // ... that is an output device
  Slot,           // a slot of the infodriver named just before
  Destination,    // a destination of the router named just before
  Output,         // an output of the output device named just before
  Control,        // a control of the panels the scripts loaded
  ControlOfFile,  // a control of the panel file named just before
  PanelFile,      // a panel file of the installation
  Panel,          // the id of a loaded panel
  Script,         // a script alive
};

// Where an operand stands and how often.
enum class Arity {
  One,       // once, in its place
  Optional,  // in its place, or not at all (not when the next word is an option's keyword)
  Any,       // any number of times, to the end of the line
  Several,   // once or more, to the end of the line
  Rest,      // the rest of the line as written
  Option,    // after the others, in any order: its keyword, then its value
};

struct StepOperand {
  OperandKind kind = OperandKind::Text;
  Arity arity = Arity::One;
  // What the usage shows between < and >: "infodriver", "source name".
  const char* name = "";
  // An option's keyword: "panel", "to"; empty for the others.
  const char* keyword = "";
  // What a message says was expected there: "a slot number". A view, as
  // every word a step reads hands it on.
  std::string_view expected;
  // Choice: the words that may stand; Colour: the names it knows.
  std::vector<const char*> choices;
  // Number: the least value it may have.
  int32_t least = std::numeric_limits<int32_t>::min();
  // Rest: a rest that is one quoted word loses its quotes.
  bool unquote = false;

  // What the usage shows: "<slot>", "[panel <id>]", "<control>...",
  // "reentrant|queued|off".
  std::string usage() const;
  // Whether the operand is a number rather than a text (serve's page sends
  // either as the text typed).
  bool numeric() const;
};

// What the lines of a block are, up to "end".
enum class BlockLines {
  None,      // the form opens no block
  Commands,  // command texts, one a line
  Text,      // the lines of one text, joined by line feeds
  Steps,     // steps of the phrases in StepForm::blockSteps
};

struct StepForm {
  // The words that pick the form, separated by one space: "set",
  // "expect no reply". No form's words begin another form's.
  const char* phrase = "";
  std::vector<StepOperand> operands;
  // Shown after the usage in the help; may be empty.
  const char* note = "";
  StepGroup group = StepGroup::Action;
  // What the block the form opens holds. It opens after every line of the
  // form, or, with `blockWithoutRest`, only when the Rest operand is
  // missing ("expect reply" alone).
  BlockLines block = BlockLines::None;
  bool blockWithoutRest = false;
  std::vector<const char*> blockSteps;
  // The alternative of StepBody that the form reads and writes.
  std::size_t index = 0;

  // Reads the operands after the phrase into `body`, which it sets to the
  // form's alternative; the parser checks that nothing is left.
  // `*opensBlock`: the step's block follows. Throws std::invalid_argument
  // with what was expected.
  std::function<void(WordReader& words, StepBody& body, bool* opensBlock)> parse;
  // Adds a line of the block (trimmed; never blank, a comment or "end").
  // Steps: the step read from it.
  std::function<void(StepBody& step, const std::string& line)> addLine;
  std::function<void(StepBody& step, Step inner)> addStep;
  // Writes the operands of `step` (of the form's alternative) after the
  // phrase, and its block. False when this form does not say that value
  // (e.g. "expect no commands" for a block with commands): another form of
  // the same alternative does.
  std::function<bool(const StepBody& step, LineWriter& line)> write;

  // The phrase and its operands: "set <infodriver> <slot> <text>".
  std::string usage() const;
  // Whether a block of this form may hold a line of `form`.
  bool holds(const StepForm& form) const;
};

// Every form, in the order of the help text.
const std::vector<StepForm>& stepForms();

// The form whose phrase is `phrase`, or null.
const StepForm* formNamed(const std::string& phrase);

// The keywords of every option ("panel", "to", ...): a text equal to one is
// quoted wherever it is written.
const std::vector<std::string>& optionKeywords();

// The help text: each group's forms, one usage line each.
std::string scenarioHelp();

}  // namespace drezhost

#endif  // DREZ_HOST_SCENARIO_STEP_TABLE_H_
