// drez-host monkey: drives any panel library with random events drawn from
// what its script registered and loaded (slots and destinations near its
// ranges, requests, event ids, control events from its panels' controls,
// notifies, and changes made from inside its commands), and checks the host
// contract after every call. On a breach, a crash or a hang it prints the
// seed and a shortened scenario that reproduces it.
//
// The events are scenario lines: the run is a scenario, written as it goes,
// so that the shortening replays (each in a child process) run exactly what
// a person would run with drez-host.

#ifndef DREZ_HOST_JOBS_MONKEY_H_
#define DREZ_HOST_JOBS_MONKEY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "isolation/common_options.h"
#include "isolation/isolation.h"
#include "isolation/task.h"
#include "runner/verdict.h"
#include "simulator/simulated_host.h"

namespace drezhost {

// The options of 'monkey'.
struct MonkeyOptions {
  std::uint64_t seed = 1;
  int events = 1000;
  std::string path;  // the export's path argument
  bool printInstallation = false;
  std::vector<std::string> reports;  // junit=FILE, tap[=FILE], json=FILE
};

// The 'monkey' job: options.seed, options.events. Passed when the contract
// held; failed on a breach; crashed on a crash or hang; bad input.
// It ends each run by deleting the script, with the teardown checks, prints
// what the events reached, and writes options.reports. The last line names
// the verdict ("==== CRASHED: monkey, seed 1").
ExitStatus monkeyJob(const CommonOptions& common, const MonkeyOptions& options);

// In the child: the seed's events, or the task's events again.
Verdict runTask(const tasks::Monkey& monkey, const TaskSettings& settings, ChildLink& link);

}  // namespace drezhost

#endif  // DREZ_HOST_JOBS_MONKEY_H_
