#include "simulator/command_parser.h"

#include <charconv>
#include <cstring>

#include "simulator/trace.h"

namespace drezhost {

namespace {

// Operand shapes: 't' text, 'i' integer; after '|' the rest are optional.
struct Signature {
  const char* code;
  const char* operands;
};

const Signature kVocabulary[] = {
    {"PS", "tt|t"}, {"TP", "ttt"},   {"TG", "ttt"}, {"SD", "t"},   {"XI", "tt"},
    {"GS", "iiii"}, {"IR", "iii|t"}, {"IU", "i"},   {"IP", "iii"}, {"RR", "iii|t"},
    {"RU", "i"},    {"RP", "iii"},   {"ET", "i"},   {"AS", ""},
};

const Signature* findSignature(const std::string& code) {
  if (code.size() != 2) return nullptr;
  for (const Signature& signature : kVocabulary) {
    if (code[0] == signature.code[0] && code[1] == signature.code[1]) return &signature;
  }
  return nullptr;
}

std::string ordinal(std::size_t i) { return "operand " + std::to_string(i + 1); }

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

bool checkValues(const HostCommand& command, std::string* error) {
  const std::string& code = command.code;
  if (code == "TP" && command.text(0).find('=') == std::string::npos) {
    *error = "the first operand of TP is not '<property>=<value>'";
    return false;
  }
  if (code == "GS") {
    if (command.number(2) < 0 || command.number(2) > 255) {
      *error = "the state of GS is outside 0 to 255";
      return false;
    }
    if (command.number(3) != 0 && command.number(3) != 1) {
      *error = "the flag of GS is neither 0 nor 1";
      return false;
    }
  }
  if ((code == "IR" || code == "RR") && command.has(3) && command.text(3) != "ADD") {
    *error = "the fourth operand of " + code + " is not 'ADD'";
    return false;
  }
  return true;
}

}  // namespace

std::optional<HostCommand> parseHostCommand(const std::string& text, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  HostCommand command;
  command.code = text.substr(0, 2);
  const Signature* signature = findSignature(command.code);
  if (text.size() < 2 || signature == nullptr || (text.size() > 2 && text[2] != ' ')) {
    *error = "unknown command code '" + shownText(text.substr(0, text.find(' '))) + "'";
    return std::nullopt;
  }
  if (*signature->operands == '\0' && text.size() > 2) {
    *error = command.code + " takes no operands";
    return std::nullopt;
  }
  command.operands.reserve(4);
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
    command.operands.push_back(operand);
    if (pos < text.size() && text[pos] != ' ') {
      *error = "text follows the closing quote of " + ordinal(command.operands.size() - 1);
      return std::nullopt;
    }
  }
  const char* shapes = signature->operands;
  const char* bar = std::strchr(shapes, '|');
  const std::size_t required =
      bar != nullptr ? static_cast<std::size_t>(bar - shapes) : std::strlen(shapes);
  const std::size_t allowed = std::strlen(shapes) - (bar != nullptr ? 1 : 0);
  if (command.operands.size() < required || command.operands.size() > allowed) {
    *error = command.code + " takes " + std::to_string(required) +
             (allowed != required ? " or " + std::to_string(allowed) : std::string()) +
             " operands, not " + std::to_string(command.operands.size());
    return std::nullopt;
  }
  std::size_t shape = 0;
  for (std::size_t i = 0; i < command.operands.size(); ++i, ++shape) {
    if (shapes[shape] == '|') ++shape;
    const bool wantText = shapes[shape] == 't';
    if (command.operands[i].isText != wantText) {
      *error = ordinal(i) + " of " + command.code + " must be " +
               (wantText ? "a quoted text" : "an integer");
      return std::nullopt;
    }
  }
  if (!checkValues(command, error)) return std::nullopt;
  return command;
}

}  // namespace drezhost
