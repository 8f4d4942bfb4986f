// drez-host validate: a named set of checks that any panel library must
// pass, each run on its own in a child process (a crash or a hang fails that
// check only), then the scenarios given. One line per check and a summary.
//
// A check drives fresh scripts of the library in the job's installation
// (learned from the script, unless --installation names one) and fails on
// any breach of the host contract the simulated host reports, or on what the
// check itself looks for; its message names what was broken. A passing
// check says what it sent and reached; one that found nothing of the
// script's to exercise is skipped, and says why. After each of the host's
// operations a check also checks the host itself (runner/host_self_check.h).

#ifndef DREZ_HOST_JOBS_VALIDATE_CHECKS_H_
#define DREZ_HOST_JOBS_VALIDATE_CHECKS_H_

#include <ostream>
#include <string>
#include <vector>

#include "isolation/common_options.h"
#include "isolation/isolation.h"
#include "isolation/task.h"
#include "runner/verdict.h"
#include "simulator/simulated_host.h"

namespace drezhost {

// The options of 'validate'.
struct ValidateOptions {
  std::vector<std::string> only;  // --only CHECK...; none: every check
  bool onlyFailed = false;
  bool listChecks = false;
  bool printInstallation = false;
  bool failFast = false;
  bool trace = false;  // --trace: each check's calls and commands, as a scenario's trace
  std::string path;    // the export's path argument
  std::vector<std::string> reports;    // junit=FILE, tap[=FILE], json=FILE
  std::vector<std::string> scenarios;  // run after the checks
};

// Prints each check's name and what it does, one a line.
void listChecks(std::ostream& out);

// The 'validate' job: options.only (or every check), then options.scenarios.
// Returns the exit status: the worst of the checks' and scenarios'.
ExitStatus validateJob(const CommonOptions& common, const ValidateOptions& options);

// In the child: one check.
Verdict runTask(const tasks::Check& task, const TaskSettings& settings, ChildLink& link);

}  // namespace drezhost

#endif  // DREZ_HOST_JOBS_VALIDATE_CHECKS_H_
