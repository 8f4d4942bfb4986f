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

#include "isolation/isolation.h"
#include "isolation/job_options.h"
#include "runner/verdict.h"
#include "simulator/simulated_host.h"

namespace drezhost {

// The 'monkey' job: options.seed, options.events. Passed when the contract
// held; failed on a breach; crashed on a crash or hang; bad input.
// It ends each run by deleting the script, with the teardown checks, prints
// what the events reached, and writes options.reports.
ExitStatus monkeyJob(const JobOptions& options);

// The child's task: the seed's events, or (subject "replay") the input's
// items again.
extern const ChildTask kMonkeyTask;

}  // namespace drezhost

#endif  // DREZ_HOST_JOBS_MONKEY_H_
