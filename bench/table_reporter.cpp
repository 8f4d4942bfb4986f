#include "table_reporter.h"

namespace drezbench {

TableReporter::TableReporter(FiguresTable& table)
    : benchmark::ConsoleReporter(OO_Tabular), table_(table) {}

void TableReporter::ReportRuns(const std::vector<Run>& runs) {
  benchmark::ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) {
    if (run.error_occurred) continue;
    const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
    const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
    if (!single && !median) continue;
    const double nanoseconds =
        run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
    const auto allocations = run.counters.find("allocs");
    table_.setFigures(run.run_name.function_name, nanoseconds,
                      allocations != run.counters.end() ? allocations->second.value : 0);
  }
}

}  // namespace drezbench
