// What the page's buttons do, as scenario lines: the page sends an action as
// JSON with the texts a person typed, and the scenario writer
// (scenario/writer.h) makes the line, so that the page quotes nothing itself.
//
// An action is any step of the step table (scenario/step_table.h): "step"
// is its phrase, and each operand is the field named as the usage names it
// (StepOperand::name; a choice by the name its row gives it), an option by
// its keyword. The page sends these:
//
//   {"step": "set",     "infodriver": name, "slot": n, "text": text}
//   {"step": "route",   "router": name, "destination": n, "source": n}
//   {"step": "control", "control": id, "command": text, "panel": id}
//   {"step": "request", "text": text}
//   {"step": "event",   "id": n}
//
// An option present is written even where it says what the step would take
// anyway ("panel 1"). Numbers may come as JSON numbers or as the text typed;
// a text that is no integer is refused by the parser when the line runs, as
// a typed line is. A repeated operand is a JSON array.

#ifndef DREZ_HOST_SERVE_PAGE_ACTIONS_H_
#define DREZ_HOST_SERVE_PAGE_ACTIONS_H_

#include <nlohmann/json.hpp>
#include <string>

namespace drezhost {

// The scenario line of `action`. Throws std::invalid_argument, with a
// message for the page, for an unknown step, a missing or mistyped field, or
// a text no scenario line can hold.
std::string actionLine(const nlohmann::json& action);

}  // namespace drezhost

#endif  // DREZ_HOST_SERVE_PAGE_ACTIONS_H_
