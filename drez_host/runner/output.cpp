#include "runner/output.h"

namespace drezhost {

const char* lineKindName(LineKind kind) {
  switch (kind) {
    case LineKind::Step:
      return "step";
    case LineKind::Trace:
      return "trace";
    case LineKind::Debug:
      return "debug";
    case LineKind::Error:
      return "error";
    case LineKind::Warning:
      return "warning";
    case LineKind::Failure:
      return "failure";
    case LineKind::Heading:
      return "heading";
    case LineKind::View:
      return "view";
    case LineKind::Note:
      return "note";
    case LineKind::Diagnostic:
      return "diagnostic";
    case LineKind::Result:
      return "result";
  }
  return "trace";
}

void printLine(std::ostream& out, const OutputLine& line) {
  if (line.spaced) out << '\n';
  out << line.text << '\n';
  out.flush();
}

void emitLines(const OutputSink& sink, LineKind kind, const std::string& text, bool spaced) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    sink(OutputLine{kind, text.substr(start, end - start), spaced && start == 0});
    start = end + 1;
  }
}

}  // namespace drezhost
