#include "figures_table.h"

#include <cstdio>

namespace drezbench {

namespace {

std::string formatted(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string figure(bool known, const char* format, double value) {
  return known ? formatted(format, value) : "-";
}

// Allocation figures are averages per event: a fraction means the event
// does not allocate every time, so no fraction may hide above the budget.
constexpr double kAllocationSlack = 1e-9;

}  // namespace

void FiguresTable::addEvent(const std::string& id, const std::string& title, double ratioTarget,
                            bool hasAllocationBudget, std::size_t allocationBudget) {
  rows_.push_back({id, title, ratioTarget, hasAllocationBudget, allocationBudget, {}, {}, {}, 0});
}

void FiguresTable::setTapGoal(const std::string& id, double addedNanoseconds) {
  for (Row& row : rows_) {
    if (row.id == id) row.tap_goal = addedNanoseconds;
  }
}

void FiguresTable::setFigures(const std::string& benchmarkName, double nanoseconds,
                              double allocations) {
  const std::size_t slash = benchmarkName.rfind('/');
  if (slash == std::string::npos) return;
  const std::string id = benchmarkName.substr(0, slash);
  const std::string side = benchmarkName.substr(slash + 1);
  for (Row& row : rows_) {
    if (row.id != id) continue;
    Measured* measured = side == "event"    ? &row.event
                         : side == "replay" ? &row.replay
                         : side == "tap"    ? &row.tap
                                            : nullptr;
    if (measured != nullptr) *measured = {true, nanoseconds, allocations};
  }
}

bool FiguresTable::ratioKnown(const Row& row) {
  return row.event.known && row.replay.known && row.replay.nanoseconds > 0;
}

bool FiguresTable::ratioHolds(const Row& row) {
  return row.ratio_target <= 0 || (ratioKnown(row) && ratio(row) <= row.ratio_target);
}

bool FiguresTable::allocationsHold(const Row& row) { return allocationsHold(row, row.event); }

bool FiguresTable::allocationsHold(const Row& row, const Measured& measured) {
  return !row.has_allocation_budget ||
         (measured.known &&
          measured.allocations <= static_cast<double>(row.allocation_budget) + kAllocationSlack);
}

bool FiguresTable::tapHolds(const Row& row) const {
  return row.event.known && row.tap.known &&
         row.tap.nanoseconds - row.event.nanoseconds <= tapGoal(row);
}

void FiguresTable::printTap(std::ostream& out) const {
  char line[200];
  std::snprintf(line, sizeof line, "%-36s %10s %10s %10s %-12s %8s %-9s\n", "event", "event ns",
                "tap ns", "added ns", "goal", "allocs", "budget");
  out << line;
  for (const Row& row : rows_) {
    const bool both = row.event.known && row.tap.known;
    const std::string goal =
        tapGoal(row) > 0 ? formatted("<= %g ", tapGoal(row)) + (tapHolds(row) ? "ok" : "MISS")
                         : "-";
    const std::string budget = row.has_allocation_budget
                                   ? "<= " + std::to_string(row.allocation_budget) +
                                         (allocationsHold(row, row.tap) ? " ok" : " MISS")
                                   : "-";
    std::snprintf(line, sizeof line, "%-36s %10s %10s %10s %-12s %8s %-9s\n", row.title.c_str(),
                  figure(row.event.known, "%.1f", row.event.nanoseconds).c_str(),
                  figure(row.tap.known, "%.1f", row.tap.nanoseconds).c_str(),
                  figure(both, "%.1f", row.tap.nanoseconds - row.event.nanoseconds).c_str(),
                  goal.c_str(), figure(row.tap.known, "%.2f", row.tap.allocations).c_str(),
                  budget.c_str());
    out << line;
  }
}

bool FiguresTable::tapTargetsHold() const {
  for (const Row& row : rows_) {
    if (tapGoal(row) <= 0) continue;
    if (!tapHolds(row) || !allocationsHold(row, row.tap)) return false;
  }
  return true;
}

void FiguresTable::print(std::ostream& out) const {
  char line[200];
  std::snprintf(line, sizeof line, "%-36s %10s %10s %7s %-11s %8s %7s %-9s\n", "event", "event ns",
                "replay ns", "ratio", "target", "allocs", "replay", "budget");
  out << line;
  for (const Row& row : rows_) {
    const std::string ratio_target = row.ratio_target > 0 ? formatted("<= %g ", row.ratio_target) +
                                                                (ratioHolds(row) ? "ok" : "MISS")
                                                          : "-";
    const std::string budget = row.has_allocation_budget
                                   ? "<= " + std::to_string(row.allocation_budget) +
                                         (allocationsHold(row) ? " ok" : " MISS")
                                   : "-";
    std::snprintf(line, sizeof line, "%-36s %10s %10s %7s %-11s %8s %7s %-9s\n", row.title.c_str(),
                  figure(row.event.known, "%.1f", row.event.nanoseconds).c_str(),
                  figure(row.replay.known, "%.1f", row.replay.nanoseconds).c_str(),
                  figure(ratioKnown(row), "%.2f", ratioKnown(row) ? ratio(row) : 0).c_str(),
                  ratio_target.c_str(),
                  figure(row.event.known, "%.2f", row.event.allocations).c_str(),
                  figure(row.replay.known, "%.2f", row.replay.allocations).c_str(), budget.c_str());
    out << line;
  }
}

bool FiguresTable::allTargetsHold() const {
  for (const Row& row : rows_) {
    if (!ratioHolds(row) || !allocationsHold(row)) return false;
  }
  return true;
}

}  // namespace drezbench
