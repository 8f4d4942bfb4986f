// What came of a task, typed: passed; failed, with its findings; skipped,
// with why; bad input, with what was wrong; crashed, with what ended the
// process and where the script was; hung. The terminal, validate, the
// reports and serve each render it their own way; none of them reads printed
// text back.

#ifndef DREZ_HOST_ISOLATION_TASK_RESULT_H_
#define DREZ_HOST_ISOLATION_TASK_RESULT_H_

#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "runner/run_summary.h"
#include "runner/verdict.h"

namespace drezhost {

// Where the script was when its process ended, as the child left it in the
// memory it shares with drez-host, and what the process wrote last.
struct CrashScene {
  std::string step;                       // the step being run, if any
  std::string call;                       // the call into the script in progress, if any
  std::vector<std::string> lastCommands;  // oldest first, shown safely
  // The last lines of the child's own standard error (a sanitizer's report,
  // the C library's message before an abort, the script's last debug lines),
  // read after it ended; shown safely.
  std::vector<std::string> standardError;
};

namespace endings {

struct Passed {};
struct Failed {
  std::vector<std::string>
      findings;  // what went wrong, one line each (a finding may hold line feeds)
};
struct Skipped {
  std::string why;  // what the check found nothing of to exercise
};
struct BadInput {
  std::string where;              // the input: a scenario file, a capture, a panel library
  std::vector<std::string> what;  // each message, naming the line where there is one
};
struct Crashed {
  std::string cause;  // "the process died of signal 11 (...)", an exit, a closed channel
  CrashScene scene;
};
struct Hung {
  std::string cause;     // the time budget, or drez-host told to stop
  bool stopped = false;  // drez-host was told to stop (serve), not the watchdog
  CrashScene scene;
};

}  // namespace endings

using Ending = std::variant<endings::Passed, endings::Failed, endings::Skipped, endings::BadInput,
                            endings::Crashed, endings::Hung>;

Verdict verdictOf(const Ending& ending);

// What ended a crashed or hung task, and where the script was; empty text
// and null for the other endings.
std::string causeOf(const Ending& ending);
const CrashScene* sceneOf(const Ending& ending);

// The ending of a task that finished its work, from the summary it set;
// `where` names its input for bad input.
Ending endingOf(const RunSummary& summary, const std::string& where);

// The report of a crash or a hang, one line each:
//   !! the script crashed: the process died of signal 11 (...)
//      during step a.scn:3: event 13
//      in call #4 event id 13
//      the last commands sent, oldest first:
//        ET 12
//      the last lines it wrote on standard error:
//        free(): double free detected in tcache 2
// Nothing for the other endings.
std::vector<std::string> crashReport(const Ending& ending);

// The report on a terminal: an empty line, then crashReport's lines.
void printCrashReport(std::ostream& out, const Ending& ending);

// What the ending says went wrong, one entry each: the findings, why it was
// skipped, what was bad, or the crash report. For the reports.
std::vector<std::string> details(const Ending& ending);

}  // namespace drezhost

#endif  // DREZ_HOST_ISOLATION_TASK_RESULT_H_
