// The console reporter of Google Benchmark that also hands every figure to
// a FiguresTable: the median when a benchmark runs repeatedly, else its one
// run. Times are CPU times, which a busy machine disturbs less than wall time.

#ifndef BENCH_TABLE_REPORTER_H_
#define BENCH_TABLE_REPORTER_H_

#include <benchmark/benchmark.h>

#include <vector>

#include "figures_table.h"

namespace drezbench {

class TableReporter : public benchmark::ConsoleReporter {
 public:
  // `table` (not owned) must outlive the reporter.
  explicit TableReporter(FiguresTable& table);

  void ReportRuns(const std::vector<Run>& runs) override;

 private:
  FiguresTable& table_;
};

}  // namespace drezbench

#endif  // BENCH_TABLE_REPORTER_H_
