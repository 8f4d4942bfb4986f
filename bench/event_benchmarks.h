// Registers the three benchmarks of a scenario with Google Benchmark:
// "<id>/event" delivers the scenario's event through `callback`,
// "<id>/replay" replays what it sent, "<id>/tap" delivers the event to the
// panel behind the tap, recording. Each reports per iteration (one event)
// the heap allocations ("allocs") and the commands the host got ("cmds").

#ifndef BENCH_EVENT_BENCHMARKS_H_
#define BENCH_EVENT_BENCHMARKS_H_

#include "scenarios.h"

namespace drezbench {

// `scenario` must outlive the benchmark run.
void registerEventBenchmarks(Scenario& scenario);

}  // namespace drezbench

#endif  // BENCH_EVENT_BENCHMARKS_H_
