// The results of a drez-host run for CI: one entry per scenario or check,
// written as JUnit XML, TAP or JSON (--report).

#ifndef DREZ_HOST_JOBS_REPORTS_H_
#define DREZ_HOST_JOBS_REPORTS_H_

#include <ostream>
#include <string>
#include <vector>

#include "runner/run_summary.h"
#include "runner/verdict.h"

namespace drezhost {

struct Result {
  std::string name;  // the scenario file, "demo", "<terminal>" or a check's name
  Verdict verdict = Verdict::Passed;
  double seconds = 0;
  RunSummary summary;
  std::string crash;  // crashed or hung: what happened, several lines

  ExitStatus status() const { return exitStatusOf(verdict); }
};

// Writes each report that `reports` names (junit=FILE, tap, tap=FILE,
// json=FILE) for the run `suite` ("run" or "validate"); "tap" goes to `out`.
// False, with `*error` set, when a file cannot be written.
bool writeReports(const std::vector<std::string>& reports, const std::string& suite,
                  const std::vector<Result>& results, std::ostream& out, std::string* error);

}  // namespace drezhost

#endif  // DREZ_HOST_JOBS_REPORTS_H_
