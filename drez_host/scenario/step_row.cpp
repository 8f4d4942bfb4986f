#include "scenario/step_row.h"

namespace drezhost {

namespace step_row {

namespace {

// A colour a view can show safely: a name it knows, or hex digits.
bool isColour(const StepOperand& operand, const std::string& text) {
  for (const char* name : operand.choices) {
    if (text == name) return true;
  }
  if ((text.size() != 4 && text.size() != 7) || text[0] != '#') return false;
  return text.find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos;
}

}  // namespace

// "a, b or c".
std::string listed(const std::vector<const char*>& words, const char* quote) {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i != 0) text += i + 1 == words.size() ? " or " : ", ";
    text += quote + std::string(words[i]) + quote;
  }
  return text;
}

void readText(WordReader& words, const StepOperand& operand, std::string& text) {
  if (operand.arity == Arity::Rest) {
    words.rest(operand.expected, operand.unquote, text);
    return;
  }
  words.text(operand.expected, text);
  if (operand.kind == OperandKind::Colour && !isColour(operand, text)) {
    std::string names;
    for (const char* name : operand.choices) names += std::string(name) + ", ";
    throw std::invalid_argument("expected " + std::string(operand.expected) + " (" + names +
                                "#rgb or #rrggbb), found '" + shownText(text) + "'");
  }
}

int32_t readNumber(WordReader& words, const StepOperand& operand) {
  if (operand.least == std::numeric_limits<int32_t>::min()) return words.integer(operand.expected);
  return words.atLeast(operand.expected, operand.least);
}

void writeText(const std::string& text, LineWriter& line, const StepOperand& operand) {
  if (operand.arity == Arity::Rest) {
    line.rest(text, operand.unquote);
  } else {
    line.word(text);
  }
}

// A text that a rest of the line cannot say and a block of its lines can.
bool needsLines(const std::optional<std::string>& text) {
  return text && text->find('\n') != std::string::npos;
}

// The lines of a block, by the type of the field that holds them.
void addBlockLine(std::vector<std::string>& lines, const std::string& line) {
  lines.push_back(line);
}
void addBlockLine(std::optional<std::string>& text, const std::string& line) {
  if (!text) text.emplace();
  if (!text->empty()) *text += '\n';
  *text += line;
}
void writeBlockLines(const std::vector<std::string>& lines, LineWriter& line) {
  for (const std::string& text : lines) line.blockLine(text);
}
void writeBlockLines(const std::optional<std::string>& text, LineWriter& line) {
  std::size_t start = 0;
  while (text) {
    const std::size_t end = text->find('\n', start);
    line.blockLine(text->substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
}
void writeBlockLines(const std::vector<Step>& steps, LineWriter& line) {
  for (const Step& step : steps) line.blockLine(writeStep(step.body));
}

}  // namespace step_row

}  // namespace drezhost
