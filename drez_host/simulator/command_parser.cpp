#include "simulator/command_parser.h"

#include <charconv>
#include <utility>

#include "simulator/trace.h"

namespace drezhost {

namespace {

std::string ordinal(std::size_t i) { return "operand " + std::to_string(i + 1); }

// "first" to "fourth", for the operand at `i`.
const char* ordinalWord(std::size_t i) {
  static const char* const kWords[DREZ_MAX_OPERANDS] = {"first", "second", "third", "fourth"};
  return kWords[i];
}

// Reads one operand starting at `pos`; advances `pos` past it.
bool readOperand(const std::string& text, std::size_t& pos, Operand& operand, std::string* error) {
  if (text[pos] == '\'') {
    std::size_t close = pos + 1;
    while (true) {
      close = text.find('\'', close);
      if (close == std::string::npos) {
        *error = "a text operand has no closing quote";
        return false;
      }
      if (close + 1 == text.size() || text[close + 1] == ' ') break;
      ++close;
    }
    operand.isText = true;
    operand.text = text.substr(pos + 1, close - pos - 1);
    pos = close + 1;
    return true;
  }
  std::size_t end = text.find(' ', pos);
  if (end == std::string::npos) end = text.size();
  const char* first = text.data() + pos;
  const char* last = text.data() + end;
  auto result = std::from_chars(first, last, operand.number);
  if (result.ec == std::errc::result_out_of_range && result.ptr == last) {
    *error = "'" + shownText(text.substr(pos, end - pos)) + "' is outside the 32-bit integer range";
    return false;
  }
  if (first == last || result.ec != std::errc() || result.ptr != last) {
    *error =
        "'" + shownText(text.substr(pos, end - pos)) + "' is neither an integer nor a quoted text";
    return false;
  }
  operand.isText = false;
  pos = end;
  return true;
}

// Checks the value the operand at `i` needs for its kind.
bool checkValue(const HostCommand& command, std::size_t i, std::string* error) {
  const Operand& operand = command.operands[i];
  const char* code = command.code();
  switch (command.definition->operands[i]) {
    case DREZ_OPERAND_ASSIGNMENT:
      if (operand.text.find('=') != std::string::npos) return true;
      *error = std::string("the ") + ordinalWord(i) + " operand of " + code +
               " is not '<property>=<value>'";
      return false;
    case DREZ_OPERAND_STATE:
      if (operand.number >= 0 && operand.number <= 255) return true;
      *error = std::string("the state of ") + code + " is outside 0 to 255";
      return false;
    case DREZ_OPERAND_FLAG:
      if (operand.number == 0 || operand.number == 1) return true;
      *error = std::string("the flag of ") + code + " is neither 0 nor 1";
      return false;
    case DREZ_OPERAND_ADD:
      if (operand.text == "ADD") return true;
      *error = std::string("the ") + ordinalWord(i) + " operand of " + code + " is not 'ADD'";
      return false;
    default:
      return true;
  }
}

}  // namespace

const Operand* HostCommand::operand(drez_operand_kind kind) const {
  for (std::size_t i = 0; i < operands.size(); ++i) {
    if (definition->operands[i] == kind) return &operands[i];
  }
  return nullptr;
}

std::optional<HostCommand> parseHostCommand(const std::string& text, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  HostCommand command;
  command.definition = drez_find_command(text.c_str());
  if (command.definition == nullptr || (text.size() > 2 && text[2] != ' ')) {
    *error = "unknown command code '" + shownText(text.substr(0, text.find(' '))) + "'";
    return std::nullopt;
  }
  const drez_command_row& definition = *command.definition;
  if (definition.count == 0 && text.size() > 2) {
    *error = std::string(definition.code) + " takes no operands";
    return std::nullopt;
  }
  command.operands.reserve(DREZ_MAX_OPERANDS);
  std::size_t pos = 2;
  while (pos < text.size()) {
    // Here text[pos] is the space before an operand.
    if (pos + 1 == text.size() || text[pos + 1] == ' ') {
      *error = "operands must be separated by exactly one space";
      return std::nullopt;
    }
    ++pos;
    Operand operand;
    if (!readOperand(text, pos, operand, error)) return std::nullopt;
    command.operands.push_back(std::move(operand));
    if (pos < text.size() && text[pos] != ' ') {
      *error = "text follows the closing quote of " + ordinal(command.operands.size() - 1);
      return std::nullopt;
    }
  }
  const std::size_t required = definition.required;
  const std::size_t allowed = definition.count;
  if (command.operands.size() < required || command.operands.size() > allowed) {
    *error = std::string(definition.code) + " takes " + std::to_string(required) +
             (allowed != required ? " or " + std::to_string(allowed) : std::string()) +
             " operands, not " + std::to_string(command.operands.size());
    return std::nullopt;
  }
  for (std::size_t i = 0; i < command.operands.size(); ++i) {
    const bool wantText = drez_operand_is_text(definition.operands[i]);
    if (command.operands[i].isText != wantText) {
      *error = ordinal(i) + " of " + definition.code + " must be " +
               (wantText ? "a quoted text" : "an integer");
      return std::nullopt;
    }
  }
  for (std::size_t i = 0; i < command.operands.size(); ++i) {
    if (!checkValue(command, i, error)) return std::nullopt;
  }
  return command;
}

}  // namespace drezhost
