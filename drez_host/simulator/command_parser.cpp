#include "simulator/command_parser.h"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
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

// The vocabulary's row for the code `text` begins with: a table over two
// capital letters, as drez_find_command would walk the rows at every
// command a script sends.
const drez_command_row* rowOf(std::string_view text) {
  constexpr std::size_t kLetters = 26;
  // The slot of a code of two capital letters; kLetters * kLetters for any other.
  const auto slot = [](char first, char second) {
    const auto a = static_cast<std::size_t>(static_cast<unsigned char>(first) - 'A');
    const auto b = static_cast<std::size_t>(static_cast<unsigned char>(second) - 'A');
    return a < kLetters && b < kLetters ? a * kLetters + b : kLetters * kLetters;
  };
  static const auto rows = [&slot] {
    std::array<const drez_command_row*, kLetters * kLetters + 1> table{};
    for (const drez_command_row& row : drez_commands) table[slot(row.code[0], row.code[1])] = &row;
    // Whatever is not two capitals finds no row.
    table[kLetters * kLetters] = nullptr;
    return table;
  }();
  if (text.size() < 2) return nullptr;
  return rows[slot(text[0], text[1])];
}

// Reads one operand starting at `pos`; advances `pos` past it.
bool readOperand(std::string_view text, std::size_t& pos, Operand& operand, std::string* error) {
  if (text[pos] == '\'') {
    std::size_t close = pos + 1;
    while (true) {
      close = text.find('\'', close);
      if (close == std::string_view::npos) {
        *error = "a text operand has no closing quote";
        return false;
      }
      if (close + 1 == text.size() || text[close + 1] == ' ') break;
      ++close;
    }
    operand.isText = true;
    operand.text.assign(text.data() + pos + 1, close - pos - 1);
    pos = close + 1;
    return true;
  }
  // An integer: an optional minus and decimal digits, up to the next space;
  // read in one pass, as every command holds some.
  std::size_t end = pos;
  const bool negative = text[end] == '-';
  if (negative) ++end;
  const std::size_t digitsFrom = end;
  int64_t value = 0;
  bool digitsOnly = true;
  for (; end < text.size() && text[end] != ' '; ++end) {
    const char c = text[end];
    if (c < '0' || c > '9') {
      digitsOnly = false;
    } else if (value <= int64_t{1} << 32) {
      value = value * 10 + (c - '0');
    }
  }
  if (!digitsOnly || end == digitsFrom) {
    *error = "'" + shownText(std::string(text.substr(pos, end - pos))) +
             "' is neither an integer nor a quoted text";
    return false;
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    *error = "'" + shownText(std::string(text.substr(pos, end - pos))) +
             "' is outside the 32-bit integer range";
    return false;
  }
  operand.number = static_cast<int32_t>(value);
  operand.isText = false;
  operand.text.clear();
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

std::optional<HostCommand> parseHostCommand(const std::string& text, std::string* error) {
  HostCommand command;
  if (!parseHostCommand(text, command, error)) return std::nullopt;
  return command;
}

bool parseHostCommand(std::string_view text, HostCommand& command, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  command.operands.clear();
  command.definition = rowOf(text);
  if (command.definition == nullptr || (text.size() > 2 && text[2] != ' ')) {
    *error =
        "unknown command code '" + shownText(std::string(text.substr(0, text.find(' ')))) + "'";
    return false;
  }
  const drez_command_row& definition = *command.definition;
  if (definition.count == 0 && text.size() > 2) {
    *error = std::string(definition.code) + " takes no operands";
    return false;
  }
  std::size_t pos = 2;
  std::size_t count = 0;  // read, kept or not
  // Operands past the most a row has are read, to be counted in the message.
  std::optional<Operand> beyond;
  while (pos < text.size()) {
    // Here text[pos] is the space before an operand.
    if (pos + 1 == text.size() || text[pos + 1] == ' ') {
      *error = "operands must be separated by exactly one space";
      return false;
    }
    ++pos;
    Operand& operand = count < DREZ_MAX_OPERANDS ? command.operands.add() : beyond.emplace();
    if (!readOperand(text, pos, operand, error)) return false;
    ++count;
    if (pos < text.size() && text[pos] != ' ') {
      *error = "text follows the closing quote of " + ordinal(count - 1);
      return false;
    }
  }
  const std::size_t required = definition.required;
  const std::size_t allowed = definition.count;
  if (count < required || count > allowed) {
    *error = std::string(definition.code) + " takes " + std::to_string(required) +
             (allowed != required ? " or " + std::to_string(allowed) : std::string()) +
             " operands, not " + std::to_string(count);
    return false;
  }
  // Every kind first, then the values: a message names the first operand of
  // the wrong kind before any value.
  const std::size_t kept = command.operands.size();
  for (std::size_t i = 0; i < kept; ++i) {
    const bool wantText = drez_operand_is_text(definition.operands[i]);
    if (command.operands[i].isText != wantText) {
      *error = ordinal(i) + " of " + definition.code + " must be " +
               (wantText ? "a quoted text" : "an integer");
      return false;
    }
  }
  for (std::size_t i = 0; i < kept; ++i) {
    if (!checkValue(command, i, error)) return false;
  }
  return true;
}

}  // namespace drezhost
