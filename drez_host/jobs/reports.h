// The results of a drez-host run for CI: one entry per scenario or check,
// written as JUnit XML, TAP or JSON (--report), each rendered from its typed
// ending (isolation/task_result.h).

#ifndef DREZ_HOST_JOBS_REPORTS_H_
#define DREZ_HOST_JOBS_REPORTS_H_

#include <ostream>
#include <string>
#include <vector>

#include "isolation/isolation.h"
#include "isolation/task_result.h"
#include "runner/run_summary.h"
#include "runner/verdict.h"

namespace drezhost {

struct Result {
  std::string name;  // the scenario file, "demo", "<terminal>" or a check's name
  Ending ending = endings::Passed{};
  RunSummary summary;  // the counts (and messages) the run set
  double seconds = 0;

  Verdict verdict() const { return verdictOf(ending); }
  ExitStatus status() const { return exitStatusOf(verdict()); }
};

// The result named `name` of an isolated run's outcome.
Result resultOf(const std::string& name, const Outcome& outcome);

// Every line of `result` that says what went wrong: its findings, why it was
// skipped, what input was bad, or (after what the run had said) the crash
// report.
std::vector<std::string> detailsOf(const Result& result);

// Writes each report that `reports` names (junit=FILE, tap, tap=FILE,
// json=FILE) for the run `suite` ("run" or "validate"); "tap" goes to `out`.
// False, with `*error` set, when a file cannot be written.
bool writeReports(const std::vector<std::string>& reports, const std::string& suite,
                  const std::vector<Result>& results, std::ostream& out, std::string* error);

}  // namespace drezhost

#endif  // DREZ_HOST_JOBS_REPORTS_H_
