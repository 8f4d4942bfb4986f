// The benchmark suite: every measured event beside its replay, then the
// table of their figures. Takes Google Benchmark's flags (for example
// --benchmark_repetitions=5, whose medians then fill the table). Exits with 0
// whether or not the targets hold: the table says which do.

#include <benchmark/benchmark.h>

#include <iostream>

#include "event_benchmarks.h"
#include "figures_table.h"
#include "scenarios.h"
#include "table_reporter.h"

int main(int argc, char** argv) {
  const auto scenarios = drezbench::makeScenarios();
  drezbench::FiguresTable table;
  for (const auto& scenario : scenarios) {
    table.addEvent(scenario->id(), scenario->title(), scenario->ratioTarget(), true,
                   scenario->allocationBudget());
    drezbench::registerEventBenchmarks(*scenario);
  }
  // What the tap (drez_tap/) may add to an event: 0.5 microseconds, to an
  // event id 0.25.
  table.setTapGoal(500);
  table.setTapGoal("event_id", 250);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  drezbench::TableReporter reporter(table);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::cout << "\nPer event: time, replay time of the same command texts, their ratio, and heap "
               "allocations (event, replay)\n";
  table.print(std::cout);
  std::cout << (table.allTargetsHold() ? "every target holds\n" : "some target does not hold\n");
  std::cout << "\nThrough the tap, recording: time, what the tap adds, and heap allocations\n";
  table.printTap(std::cout);
  std::cout << (table.tapTargetsHold() ? "every tap target holds\n"
                                       : "some tap target does not hold\n");
  return 0;
}
