// The scenario runner's job: runs scenario files (or the demo, or lines from
// the terminal) one after the other, each isolated in a child process with
// the watchdog, prints a combined summary, writes the reports and golden
// traces, and gives the exit status (runner/verdict.h; with several
// scenarios the worst).

#ifndef DREZ_HOST_JOBS_RUN_JOB_H_
#define DREZ_HOST_JOBS_RUN_JOB_H_

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "jobs/isolation.h"
#include "jobs/job_options.h"
#include "jobs/reports.h"
#include "jobs/terminal.h"
#include "runner/output.h"
#include "runner/runner.h"
#include "simulator/simulated_host.h"

namespace drezhost {

// Feeds the lines of `in` (named `name` in messages) to `runner` one by one
// as they are read, running each step once it is complete; tells `link`
// which step runs. Bad input stops the run (or, with `interactive`, is
// reported and the next line read); the result is runner.finish()'s.
Verdict playScenario(ScenarioRunner& runner, std::istream& in, const std::string& name,
                     ChildLink& link, bool interactive);

// Runs one scenario: a file, "" for the demo, "-" for the terminal.
Result runScenario(const std::string& scenario, const JobOptions& options,
                   const ScriptFactory& factory);

// The result named `name` of an isolated run's outcome.
Result resultOf(const std::string& name, const Outcome& outcome);

// The exit status of a whole run: the worst of its results'.
ExitStatus overallStatus(const std::vector<Result>& results);

// "==== 3 scenarios: 2 passed, 1 failed, ..." after more than one result.
void printTotals(std::ostream& out, const std::vector<Result>& results, const char* what);

// The isolation the options ask for (--no-isolate, --timeout).
IsolationOptions isolationFor(const JobOptions& options);

// The options of a runner that prints nothing (validate checks, monkey).
RunOptions quietRunOptions(const JobOptions& options);

// Writes the reports options.reports names for `suite` ("run", "validate")
// and returns the exit status of the whole job.
ExitStatus finishJob(const JobOptions& options, const char* suite,
                     const std::vector<Result>& results);

// The 'run' job over options.scenarios.
ExitStatus runJob(const JobOptions& options, const ScriptFactory& factory);

}  // namespace drezhost

#endif  // DREZ_HOST_JOBS_RUN_JOB_H_
