// The forms of the scenario language, one row each: the words that name the
// form ("expect no reply"), its operands as the help shows them, how its
// line is read into a step and how a step is written back as its line. The
// parser, the writer, the help text and the completion of an interactive
// line are all made from this one table.

#ifndef DREZ_HOST_SCENARIO_STEP_TABLE_H_
#define DREZ_HOST_SCENARIO_STEP_TABLE_H_

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "scenario/steps.h"
#include "scenario/words.h"
#include "scenario/writer.h"

namespace drezhost {

// The sections of the help text.
enum class StepGroup { Installation, Action, Expectation };

struct StepForm {
  // The words that pick the form, separated by one space: "set",
  // "expect no reply". No form's words begin another form's.
  const char* phrase = "";
  // What follows the phrase, as the help shows it: "<infodriver> <slot> <text>".
  const char* operands = "";
  // Shown after the usage in the help; may be empty.
  const char* note = "";
  StepGroup group = StepGroup::Action;
  // The step opens a block of lines that "end" closes.
  bool opensBlock = false;
  // The alternative of StepBody that the form reads and writes.
  std::size_t index = 0;
  // Reads the operands after the phrase; the parser checks that nothing is
  // left. Throws std::invalid_argument with what was expected.
  std::function<StepBody(WordReader& words)> parse;
  // Writes the operands of `step` (of the form's alternative) after the
  // phrase. False when this form does not say that value (e.g. "expect no
  // commands" for a block with commands): another form of the same
  // alternative does.
  std::function<bool(const StepBody& step, LineWriter& line)> write;
};

// Every form, in the order of the help text.
const std::vector<StepForm>& stepForms();

// The help text: each group's forms, one usage line each.
std::string scenarioHelp();

}  // namespace drezhost

#endif  // DREZ_HOST_SCENARIO_STEP_TABLE_H_
