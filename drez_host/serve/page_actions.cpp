#include "serve/page_actions.h"

#include <stdexcept>

#include "scenario/step_table.h"
#include "scenario/writer.h"

namespace drezhost {

namespace {

// The field of `action` that holds `operand`: its keyword for an option
// ("panel"), its name for the others ("infodriver"); null when absent.
const nlohmann::json* fieldOf(const nlohmann::json& action, const StepOperand& operand) {
  const std::string name = operand.arity == Arity::Option ? operand.keyword : operand.name;
  const auto found = action.find(name);
  return found == action.end() ? nullptr : &*found;
}

// The text of one value: a text, or for a number the number or the text
// typed for one, which the parser then reads or refuses as a typed line.
std::string valueText(const nlohmann::json& value, const StepOperand& operand,
                      const std::string& name) {
  if (value.is_string()) return value.get<std::string>();
  const bool number = operand.numeric() || operand.kind == OperandKind::Choice;  // "notify": 6
  if (number && value.is_number_integer()) return std::to_string(value.get<long long>());
  throw std::invalid_argument(std::string("the action needs the ") +
                              (operand.numeric() ? "number" : "text") + " field '" + name + "'");
}

void writeOperand(const nlohmann::json& action, const StepOperand& operand, LineWriter& line) {
  const nlohmann::json* value = fieldOf(action, operand);
  const std::string name = operand.arity == Arity::Option ? operand.keyword : operand.name;
  const bool needed = operand.arity == Arity::One || operand.arity == Arity::Rest ||
                      operand.arity == Arity::Several;
  if (value == nullptr) {
    if (needed) valueText(nlohmann::json(), operand, name);  // throws
    return;
  }
  if (operand.arity == Arity::Option) line.keyword(operand.keyword);
  if (operand.arity == Arity::Rest) {
    line.rest(valueText(*value, operand, name), operand.unquote);
  } else if (operand.arity == Arity::Any || operand.arity == Arity::Several) {
    if (!value->is_array()) {
      throw std::invalid_argument("the action needs the list field '" + name + "'");
    }
    for (const nlohmann::json& each : *value) line.word(valueText(each, operand, name));
  } else {
    line.word(valueText(*value, operand, name));
  }
}

}  // namespace

std::string actionLine(const nlohmann::json& action) {
  if (!action.is_object()) throw std::invalid_argument("an action is a JSON object");
  const auto step = action.find("step");
  if (step == action.end() || !step->is_string()) {
    throw std::invalid_argument("the action needs the text field 'step'");
  }
  const StepForm* form = formNamed(step->get<std::string>());
  if (form == nullptr) {
    throw std::invalid_argument("no action '" + step->get<std::string>() +
                                "': 'step' names a step of the scenario language (set, route, "
                                "control, request, event, ...)");
  }
  LineWriter line(form->phrase);
  for (const StepOperand& operand : form->operands) writeOperand(action, operand, line);
  if (std::optional<std::string> written = line.text()) return *written;
  throw std::invalid_argument(
      "no scenario line can hold a text of this action (a line break, "
      "or both kinds of quote before a blank)");
}

}  // namespace drezhost
