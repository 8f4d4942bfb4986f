// The options every job takes (cli/ reads them from the command line): the
// panel library and the installation to start from, how the simulated host
// runs, and how isolation watches the script. Each job's own options are its
// own struct, beside the job.

#ifndef DREZ_HOST_ISOLATION_COMMON_OPTIONS_H_
#define DREZ_HOST_ISOLATION_COMMON_OPTIONS_H_

#include <cstddef>
#include <optional>
#include <string>

#include "isolation/task.h"
#include "simulator/simulated_host.h"

namespace drezhost {

// How a task's child process is watched.
struct Isolation {
  bool isolate = true;  // --no-isolate: the task runs in drez-host's own process
  double timeout = 5;   // --timeout: seconds one outermost call into a script may take
};

struct CommonOptions {
  std::optional<std::string> script;  // --script; none: jobs/panel_library.h's rule
  // --installation: a file of installation steps, or "studio-a"; empty:
  // Studio A for scenarios, learned from the script for validate and monkey.
  std::string installation;
  PollDelivery polls = PollDelivery::Reentrant;
  Isolation isolation;
  int maxDepth = SimulatedHost::kDefaultMaxDepth;
  std::size_t maxCommands = SimulatedHost::kDefaultMaxCommands;
  bool quiet = false;  // no trace: only problems, failures and results

  // The settings of this job's tasks, once the job settled the library and
  // the installation (jobs/job_setup.h).
  TaskSettings settings(std::string library, std::string installationSteps) const {
    TaskSettings settled;
    settled.library = std::move(library);
    settled.installation = std::move(installationSteps);
    settled.polls = polls;
    settled.maxDepth = maxDepth;
    settled.maxCommands = maxCommands;
    return settled;
  }
};

}  // namespace drezhost

#endif  // DREZ_HOST_ISOLATION_COMMON_OPTIONS_H_
