#include "event_benchmarks.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>

#include "allocation_faults.h"

namespace drezbench {

namespace {

double perIteration(std::size_t count) { return static_cast<double>(count); }

template <typename Step>
void measure(benchmark::State& state, Scenario& scenario, const CountingHost& host, Step step) {
  const std::size_t commands_before = host.executed();
  const std::size_t allocations_before = drezfault::allocationsCounted();
  for (auto _ : state) step(scenario);
  state.counters["allocs"] =
      benchmark::Counter(perIteration(drezfault::allocationsCounted() - allocations_before),
                         benchmark::Counter::kAvgIterations);
  state.counters["cmds"] = benchmark::Counter(perIteration(host.executed() - commands_before),
                                              benchmark::Counter::kAvgIterations);
}

}  // namespace

void registerEventBenchmarks(Scenario& scenario) {
  Scenario* const measured = &scenario;
  benchmark::RegisterBenchmark((scenario.id() + "/event").c_str(), [measured](
                                                                       benchmark::State& state) {
    measure(state, *measured, measured->panel().host(), [](Scenario& s) { s.deliverNext(); });
  })->Unit(benchmark::kNanosecond);
  benchmark::RegisterBenchmark((scenario.id() + "/replay").c_str(), [measured](
                                                                        benchmark::State& state) {
    measure(state, *measured, measured->panel().host(), [](Scenario& s) { s.replayNext(); });
  })->Unit(benchmark::kNanosecond);
  benchmark::RegisterBenchmark((scenario.id() + "/tap").c_str(), [measured](
                                                                     benchmark::State& state) {
    measure(state, *measured, measured->tappedPanel().host(),
            [](Scenario& s) { s.deliverNextThroughTap(); });
  })->Unit(benchmark::kNanosecond);
}

}  // namespace drezbench
