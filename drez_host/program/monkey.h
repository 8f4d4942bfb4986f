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

#ifndef DREZ_HOST_PROGRAM_MONKEY_H_
#define DREZ_HOST_PROGRAM_MONKEY_H_

#include "options.h"
#include "simulated_host.h"

namespace drezhost {

// The 'monkey' job: options.seed, options.events. Returns 0 when the
// contract held, 1 on a breach, 3 on a crash or hang, 2 for bad input.
int monkeyJob(const Options& options, const ScriptFactory& factory);

}  // namespace drezhost

#endif  // DREZ_HOST_PROGRAM_MONKEY_H_
