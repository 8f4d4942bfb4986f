// Reads a script's command text exactly as the host vocabulary writes it: a
// two-letter code, then operands each preceded by one space; text operands
// between single quotes, integers in signed decimal.
//
// A text operand ends at the first quote that is followed by a space or by
// the end of the text, so a quote inside an operand survives as long as no
// space follows it.

#ifndef DREZ_HOST_SIMULATOR_COMMAND_PARSER_H_
#define DREZ_HOST_SIMULATOR_COMMAND_PARSER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace drezhost {

struct Operand {
  bool isText = false;
  std::string text;    // a text operand, without its quotes
  int32_t number = 0;  // an integer operand
};

struct HostCommand {
  std::string code;
  std::vector<Operand> operands;

  const std::string& text(std::size_t i) const { return operands.at(i).text; }
  int32_t number(std::size_t i) const { return operands.at(i).number; }
  bool has(std::size_t i) const { return i < operands.size(); }
};

// Parses `text` and checks it against the vocabulary:
//   PS 'panel' 'file' ['extra']    TP 'property=value' 'panel' 'control'
//   TG 'panel' 'control' 'property'    SD 'name'    XI 'panel' 'filter'
//   GS device index state(0-255) flag(0/1)
//   IR|RR device first last ['ADD']    IP|RP device first last
//   IU|RU device    ET id    AS
// Returns nothing and sets `*error` (what was wrong, in words) when the code
// is not in the vocabulary or the operands do not fit it.
std::optional<HostCommand> parseHostCommand(const std::string& text, std::string* error);

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_COMMAND_PARSER_H_
