// Registers the two benchmarks of a scenario with Google Benchmark:
// "<id>/event" delivers the scenario's event through `callback`,
// "<id>/replay" replays what it sent. Both report per iteration (one event)
// the heap allocations ("allocs") and the commands the host got ("cmds").

#ifndef BENCH_EVENT_BENCHMARKS_H_
#define BENCH_EVENT_BENCHMARKS_H_

#include "scenarios.h"

namespace drezbench {

// `scenario` must outlive the benchmark run.
void registerEventBenchmarks(Scenario& scenario);

}  // namespace drezbench

#endif  // BENCH_EVENT_BENCHMARKS_H_
