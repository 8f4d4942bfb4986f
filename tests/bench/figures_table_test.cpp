#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "figures_table.h"

namespace drezbench {
namespace {

std::string printed(const FiguresTable& table) {
  std::ostringstream out;
  table.print(out);
  return out.str();
}

// The row of `title` in the printed table, with runs of spaces made single.
std::string row(const FiguresTable& table, const std::string& title) {
  std::istringstream lines(printed(table));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(title, 0) != 0) continue;
    std::string squeezed;
    for (char c : line) {
      if (c != ' ' || (!squeezed.empty() && squeezed.back() != ' ')) squeezed += c;
    }
    while (!squeezed.empty() && squeezed.back() == ' ') squeezed.pop_back();
    return squeezed;
  }
  return "(no row)";
}

TEST(FiguresTable, PairsEachEventWithItsReplayAndDividesEventByReplay) {
  FiguresTable table;
  table.addEvent("a", "first", 3, true, 2);
  table.addEvent("b", "second", 0, true, 0);
  table.setFigures("b/replay", 4, 0);
  table.setFigures("a/replay", 10, 0);
  table.setFigures("a/event", 25, 2);
  table.setFigures("b/event", 20, 0);
  EXPECT_EQ(row(table, "first"), "first 25.0 10.0 2.50 <= 3 ok 2.00 0.00 <= 2 ok");
  EXPECT_EQ(row(table, "second"), "second 20.0 4.0 5.00 - 0.00 0.00 <= 0 ok");
  EXPECT_TRUE(table.allTargetsHold());
}

TEST(FiguresTable, ReportsAMissedRatioOrBudget) {
  FiguresTable table;
  table.addEvent("slow", "slow", 3, true, 1);
  table.addEvent("greedy", "greedy", 3, true, 1);
  table.setFigures("slow/event", 31, 1);
  table.setFigures("slow/replay", 10, 0);
  // An average just above the budget means some deliveries went over it.
  table.setFigures("greedy/event", 10, 1.01);
  table.setFigures("greedy/replay", 10, 0);
  EXPECT_EQ(row(table, "slow"), "slow 31.0 10.0 3.10 <= 3 MISS 1.00 0.00 <= 1 ok");
  EXPECT_EQ(row(table, "greedy"), "greedy 10.0 10.0 1.00 <= 3 ok 1.01 0.00 <= 1 MISS");
  EXPECT_FALSE(table.allTargetsHold());
}

TEST(FiguresTable, UnmeasuredFiguresPrintAsDashAndFailTheirTargets) {
  FiguresTable table;
  table.addEvent("a", "lonely", 3, false, 0);
  table.setFigures("a/event", 12, 2);
  table.setFigures("a/other", 1, 1);  // neither side: ignored
  table.setFigures("unknown/event", 1, 1);
  table.setFigures("noslash", 1, 1);
  EXPECT_EQ(row(table, "lonely"), "lonely 12.0 - - <= 3 MISS 2.00 - -");
  EXPECT_FALSE(table.allTargetsHold());

  table.setFigures("a/replay", 6, 1);
  EXPECT_EQ(row(table, "lonely"), "lonely 12.0 6.0 2.00 <= 3 ok 2.00 1.00 -");
  EXPECT_TRUE(table.allTargetsHold());
}

TEST(FiguresTable, LaterFiguresReplaceEarlierOnes) {
  FiguresTable table;
  table.addEvent("a", "again", 0, true, 0);
  table.setFigures("a/event", 100, 1);
  table.setFigures("a/event", 50, 0);
  table.setFigures("a/replay", 25, 0);
  EXPECT_EQ(row(table, "again"), "again 50.0 25.0 2.00 - 0.00 0.00 <= 0 ok");
}

// The second table: what the tap adds to each event, against its goal, and
// its allocations against the event's budget.
std::string tapRow(const FiguresTable& table, const std::string& title) {
  std::ostringstream out;
  table.printTap(out);
  std::istringstream lines(out.str());
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(title, 0) != 0) continue;
    std::string squeezed;
    for (char c : line) {
      if (c != ' ' || (!squeezed.empty() && squeezed.back() != ' ')) squeezed += c;
    }
    while (!squeezed.empty() && squeezed.back() == ' ') squeezed.pop_back();
    return squeezed;
  }
  return "(no row)";
}

TEST(FiguresTable, TheTapTableShowsWhatTheTapAddsAgainstItsGoal) {
  FiguresTable table;
  table.addEvent("a", "cheap", 3, true, 0);
  table.addEvent("b", "dear", 3, true, 2);
  table.setTapGoal(2000);
  table.setFigures("a/event", 30, 0);
  table.setFigures("a/tap", 1230, 0);
  table.setFigures("b/event", 70, 2);
  table.setFigures("b/tap", 2100, 3);
  EXPECT_EQ(tapRow(table, "cheap"), "cheap 30.0 1230.0 1200.0 <= 2000 ok 0.00 <= 0 ok");
  EXPECT_EQ(tapRow(table, "dear"), "dear 70.0 2100.0 2030.0 <= 2000 MISS 3.00 <= 2 MISS");
  EXPECT_FALSE(table.tapTargetsHold());
  table.setFigures("b/tap", 900, 2);
  EXPECT_TRUE(table.tapTargetsHold());
  // An event's own goal stands before the table's.
  table.setTapGoal("a", 1000);
  EXPECT_EQ(tapRow(table, "cheap"), "cheap 30.0 1230.0 1200.0 <= 1000 MISS 0.00 <= 0 ok");
  EXPECT_FALSE(table.tapTargetsHold());
  table.setTapGoal("a", 1500);
  EXPECT_TRUE(table.tapTargetsHold());
  // The tap's figures leave the first table as it was.
  EXPECT_EQ(row(table, "cheap"), "cheap 30.0 - - <= 3 MISS 0.00 - <= 0 ok");
}

TEST(FiguresTable, WithoutTapFiguresTheTapGoalCannotHold) {
  FiguresTable table;
  table.addEvent("a", "untapped", 0, false, 0);
  table.setFigures("a/event", 30, 0);
  EXPECT_TRUE(table.tapTargetsHold());  // no goal set
  table.setTapGoal(2000);
  EXPECT_EQ(tapRow(table, "untapped"), "untapped 30.0 - - <= 2000 MISS - -");
  EXPECT_FALSE(table.tapTargetsHold());
}

}  // namespace
}  // namespace drezbench
