// The figures of one benchmark run, paired per event with its replay, and
// the table printed from them: per event its time, its replay's time, their
// ratio against the event's target, and its heap allocations against its
// budget.
//
// Benchmarks are named "<id>/event" and "<id>/replay"; figures of any other
// name are ignored, but for "<id>/tap", the event through the tap, which a
// second table prints: what the tap adds to the event's time against the
// tap's goal, and its allocations against the event's budget.

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

  // The most the tap may add to an event's time, in nanoseconds: every
  // event's, or the one event `id`'s (which then keeps its own).
  void setTapGoal(double addedNanoseconds) { tap_goal_ = addedNanoseconds; }
  void setTapGoal(const std::string& id, double addedNanoseconds);
  // One line per event: its time, its time through the tap, the difference
  // against the tap's goal, and its allocations through the tap against its
  // budget.
  void printTap(std::ostream& out) const;
  // True when no tap goal is set, or every event's tap figures were measured
  // and keep both goals.
  bool tapTargetsHold() const;

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
    Measured tap;
    double tap_goal = 0;  // 0: the table's
  };

  static bool ratioKnown(const Row& row);
  static double ratio(const Row& row) { return row.event.nanoseconds / row.replay.nanoseconds; }
  static bool ratioHolds(const Row& row);
  static bool allocationsHold(const Row& row);
  static bool allocationsHold(const Row& row, const Measured& measured);
  bool tapHolds(const Row& row) const;
  double tapGoal(const Row& row) const { return row.tap_goal > 0 ? row.tap_goal : tap_goal_; }

  std::vector<Row> rows_;
  double tap_goal_ = 0;
};

}  // namespace drezbench

#endif  // BENCH_FIGURES_TABLE_H_
