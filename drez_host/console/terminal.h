// What a job shows a person: the run's typed lines on standard output, and
// drez-host's own messages on standard error.

#ifndef DREZ_HOST_CONSOLE_TERMINAL_H_
#define DREZ_HOST_CONSOLE_TERMINAL_H_

#include <string>

#include "runner/output.h"
#include "runner/verdict.h"

namespace drezhost {

// Shows each line on standard output, as a terminal shows it (printLine);
// drez-host's own diagnostics go to standard error.
OutputSink terminalOutput();

// Says "drez-host: <message>" on standard error; returns the exit status of
// bad input.
ExitStatus badInput(const std::string& message);

}  // namespace drezhost

#endif  // DREZ_HOST_CONSOLE_TERMINAL_H_
