// Reads a script's command text exactly as the host vocabulary
// (abi/drez_commands.h) writes it: a two-letter code, then operands each
// preceded by one space; text operands between single quotes, integers in
// signed decimal.
//
// A text operand ends at the first quote that is followed by a space or by
// the end of the text, so a quote inside an operand survives as long as no
// space follows it.

#ifndef DREZ_HOST_SIMULATOR_COMMAND_PARSER_H_
#define DREZ_HOST_SIMULATOR_COMMAND_PARSER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "drez_commands.h"

namespace drezhost {

struct Operand {
  bool isText = false;
  std::string text;    // a text operand, without its quotes
  int32_t number = 0;  // an integer operand
};

// A command's operands, held in place: a row has at most DREZ_MAX_OPERANDS,
// and a command is parsed on every call, so no heap block per command.
class Operands {
 public:
  std::size_t size() const { return size_; }
  const Operand& operator[](std::size_t i) const { return items_[i]; }
  // Throws std::out_of_range past the last one.
  const Operand& at(std::size_t i) const {
    if (i >= size_) throw std::out_of_range("no operand " + std::to_string(i + 1));
    return items_[i];
  }
  // One more at the end, whose text keeps the room an earlier one left;
  // the caller keeps to DREZ_MAX_OPERANDS.
  Operand& add() { return items_[size_++]; }
  void clear() { size_ = 0; }
  const Operand* begin() const { return items_.data(); }
  const Operand* end() const { return items_.data() + size_; }

 private:
  std::array<Operand, DREZ_MAX_OPERANDS> items_;
  std::size_t size_ = 0;
};

struct HostCommand {
  // The command's row of the vocabulary; never null in a parsed command.
  const drez_command_row* definition = nullptr;
  // As sent: the row's operands in order, the optional ones perhaps left off.
  Operands operands;

  drez_command_id id() const { return definition->id; }
  const char* code() const { return definition->code; }
  const std::string& text(std::size_t i) const { return operands.at(i).text; }
  int32_t number(std::size_t i) const { return operands.at(i).number; }
  bool has(std::size_t i) const { return i < operands.size(); }
  // The operand the row names `kind`; null when the row has none, or when
  // it is an optional one that was left off.
  const Operand* operand(drez_operand_kind kind) const {
    for (std::size_t i = 0; i < operands.size(); ++i) {
      if (definition->operands[i] == kind) return &operands[i];
    }
    return nullptr;
  }
  // The text or number of the operand of `kind`, which the command must have.
  const std::string& textOf(drez_operand_kind kind) const { return operand(kind)->text; }
  int32_t numberOf(drez_operand_kind kind) const { return operand(kind)->number; }
};

// The two letters of command `id`, as messages name it.
inline const char* codeOf(drez_command_id id) { return drez_commands[id].code; }

// Parses `text` and checks it against the vocabulary: the code, the number
// of operands, each operand's shape (text or integer), and the values some
// kinds of operand need (a property assignment holds '=', a state is 0 to
// 255, a flag 0 or 1, the option is exactly ADD). Returns nothing and sets
// `*error` (what was wrong, in words; `error` may be null) otherwise.
std::optional<HostCommand> parseHostCommand(const std::string& text, std::string* error);
// The same into `command`, whose texts keep their room from one command to
// the next. Returns false and sets `*error` for a text that does not parse;
// `command` then holds nothing of use.
bool parseHostCommand(std::string_view text, HostCommand& command, std::string* error);

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_COMMAND_PARSER_H_
