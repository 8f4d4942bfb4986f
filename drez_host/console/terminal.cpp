#include "console/terminal.h"

#include <iostream>

namespace drezhost {

OutputSink terminalOutput() {
  return [](const OutputLine& line) {
    printLine(line.kind == LineKind::Diagnostic ? std::cerr : std::cout, line);
  };
}

ExitStatus badInput(const std::string& message) {
  std::cerr << "drez-host: " << message << "\n";
  return ExitStatus::BadInput;
}

}  // namespace drezhost
