// The figures of one benchmark run, paired per event with its replay, and
// the table printed from them: per event its time, its replay's time, their
// ratio against the event's target, and its heap allocations against its
// budget.
//
// Benchmarks are named "<id>/event" and "<id>/replay"; figures of any other
// name are ignored.

#ifndef BENCH_FIGURES_TABLE_H_
#define BENCH_FIGURES_TABLE_H_

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

namespace drezbench {

class FiguresTable {
 public:
  // Declares a row, in table order. A `ratioTarget` of 0 means none; without
  // `hasAllocationBudget` the event has no allocation target.
  void addEvent(const std::string& id, const std::string& title, double ratioTarget,
                bool hasAllocationBudget, std::size_t allocationBudget);

  // The time (nanoseconds) and the heap allocations of one event or replay.
  // A later figure for the same benchmark replaces an earlier one.
  void setFigures(const std::string& benchmarkName, double nanoseconds, double allocations);

  // One line per event; a figure not measured prints as "-", and so does a
  // target the event does not have.
  void print(std::ostream& out) const;

  // True when every target of every event was measured and holds.
  bool allTargetsHold() const;

 private:
  struct Measured {
    bool known = false;
    double nanoseconds = 0;
    double allocations = 0;
  };
  struct Row {
    std::string id;
    std::string title;
    double ratio_target;
    bool has_allocation_budget;
    std::size_t allocation_budget;
    Measured event;
    Measured replay;
  };

  static bool ratioKnown(const Row& row);
  static double ratio(const Row& row) { return row.event.nanoseconds / row.replay.nanoseconds; }
  static bool ratioHolds(const Row& row);
  static bool allocationsHold(const Row& row);

  std::vector<Row> rows_;
};

}  // namespace drezbench

#endif  // BENCH_FIGURES_TABLE_H_
