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

#include "isolation/isolation.h"
#include "isolation/job_options.h"
#include "jobs/reports.h"

namespace drezhost {

// The child's task: one scenario (payload: a TaskInput whose subject is the
// file, "" for the demo, "-" for the terminal, whose lines it asks for).
extern const ChildTask kScenarioTask;

// Runs one scenario in a child process and shows what it came to; with
// `onlyFailed`, its trace only when it does not pass.
Result runScenario(const std::string& scenario, const JobOptions& options, bool onlyFailed = false);

// The result named `name` of an isolated run's outcome.
Result resultOf(const std::string& name, const Outcome& outcome);

// The exit status of a whole run: the worst of its results'.
ExitStatus overallStatus(const std::vector<Result>& results);

// "==== 3 scenarios: 2 passed, 1 failed, ..." after more than one result.
void printTotals(std::ostream& out, const std::vector<Result>& results, const char* what);

// Writes the reports options.reports names for `suite` ("run", "validate")
// and returns the exit status of the whole job.
ExitStatus finishJob(const JobOptions& options, const char* suite,
                     const std::vector<Result>& results);

// The 'run' job over options.scenarios.
ExitStatus runJob(const JobOptions& options);

}  // namespace drezhost

#endif  // DREZ_HOST_JOBS_RUN_JOB_H_
