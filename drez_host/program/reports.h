// The results of a drez-host run for CI: one entry per scenario or check,
// written as JUnit XML, TAP or JSON (--report).

#ifndef DREZ_HOST_PROGRAM_REPORTS_H_
#define DREZ_HOST_PROGRAM_REPORTS_H_

#include <ostream>
#include <string>
#include <vector>

#include "scenario_runner.h"

namespace drezhost {

struct Result {
  std::string name;  // the scenario file, "demo", "<terminal>" or a check's name
  int exitCode = 0;  // 0 passed, 1 failed, 2 bad input, 3 crashed or hung
  double seconds = 0;
  RunSummary summary;
  std::string crash;  // for exit status 3: what happened, several lines
};

// "passed", "failed", "bad input" or "crashed or hung".
const char* verdictOf(int exitCode);

// Writes each report that `reports` names (junit=FILE, tap, tap=FILE,
// json=FILE) for the run `suite` ("run" or "validate"); "tap" goes to `out`.
// False, with `*error` set, when a file cannot be written.
bool writeReports(const std::vector<std::string>& reports, const std::string& suite,
                  const std::vector<Result>& results, std::ostream& out, std::string* error);

}  // namespace drezhost

#endif  // DREZ_HOST_PROGRAM_REPORTS_H_
