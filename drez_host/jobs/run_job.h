// The scenario runner's job: runs scenario files (or the demo, or lines from
// the terminal) one after the other, each isolated in a child process with
// the watchdog, prints a combined summary, writes the reports and golden
// traces, and gives the exit status (runner/verdict.h; with several
// scenarios the worst).

#ifndef DREZ_HOST_JOBS_RUN_JOB_H_
#define DREZ_HOST_JOBS_RUN_JOB_H_

#include <ostream>
#include <string>
#include <vector>

#include "isolation/common_options.h"
#include "isolation/isolation.h"
#include "isolation/task.h"
#include "jobs/reports.h"

namespace drezhost {

// The options of 'run' (the default job).
struct RunJobOptions {
  std::vector<std::string> scenarios;  // none: the demo
  bool interactive = false;            // -i, or "-": the terminal
  bool showStudio = false;
  bool failFast = false;
  bool coverage = false;
  bool updateTraces = false;
  std::vector<std::string> reports;  // junit=FILE, tap[=FILE], json=FILE
  std::string recordTrace;           // --record-trace FILE
  std::string checkTrace;            // --check-trace FILE
  bool printDemo = false;
};

// In the child: one scenario.
Verdict runTask(const tasks::Scenario& scenario, const TaskSettings& settings, ChildLink& link);

// The task that runs `file` ("" the demo, "-" the terminal) as `options` and
// `common` say.
tasks::Scenario scenarioTask(const std::string& file, const CommonOptions& common,
                             const RunJobOptions& options);

// Runs one scenario in a child process and shows what it came to; with
// `onlyFailed`, its trace only when it does not pass.
Result runScenario(const tasks::Scenario& scenario, const TaskSettings& settings,
                   const Isolation& isolation, bool onlyFailed = false);

// The exit status of a whole run: the worst of its results'.
ExitStatus overallStatus(const std::vector<Result>& results);

// "==== 3 scenarios: 2 passed, 1 failed, ..." after more than one result.
void printTotals(std::ostream& out, const std::vector<Result>& results, const char* what);

// Writes the reports `reports` names for `suite` ("run", "validate") and
// returns the exit status of the whole job.
ExitStatus finishJob(const std::vector<std::string>& reports, const char* suite,
                     const std::vector<Result>& results);

// The 'run' job.
ExitStatus runJob(const CommonOptions& common, const RunJobOptions& options);

}  // namespace drezhost

#endif  // DREZ_HOST_JOBS_RUN_JOB_H_
