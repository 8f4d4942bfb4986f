// Heap allocations of the commands and of the measured events: numeric
// commands allocate nothing, a text command only past its stack buffer, and
// an event no more than its goal.

#include <gtest/gtest.h>

#include <climits>
#include <new>
#include <string>

#include "allocation_faults.h"
#include "counting_host.h"
#include "drez_export.h"
#include "drez_script_helper.h"
#include "runner/runner.h"
#include "scenario/parser.h"
#include "scenarios.h"

namespace drezbench {
namespace {

// A script with no behaviour of its own, to call the commands directly.
class CommandScript : public drez_script_helper {
 public:
  explicit CommandScript(drez_client_host* host) : drez_script_helper(host, "a/path") {}

 protected:
  void onControlEvent(ControlEventView*) override {}
  void onDeviceUpdate(DeviceUpdateView*) override {}
  drez_string onHostRequest(HostRequest*) override { return drez_string(); }
  void onEventId(int) override {}
};

template <typename Action>
std::size_t allocationsOf(Action action) {
  const std::size_t before = drezfault::allocationsCounted();
  action();
  return drezfault::allocationsCounted() - before;
}

// Where each allocation's address goes, so that no optimiser may remove a
// new/delete pair whose result is otherwise never used.
const void* volatile escaped = nullptr;

TEST(AllocationCounter, CountsEveryFormOfNew) {
  EXPECT_EQ(allocationsOf([] {
              int* block = new int(1);
              escaped = block;
              delete block;
            }),
            1u);
  EXPECT_EQ(allocationsOf([] {
              char* block = new char[40];
              escaped = block;
              delete[] block;
            }),
            1u);
  EXPECT_EQ(allocationsOf([] {
              int* block = new (std::nothrow) int(1);
              escaped = block;
              delete block;
            }),
            1u);
  EXPECT_EQ(allocationsOf([] {
              const std::string text(100, 'x');
              escaped = text.data();
            }),
            1u);
  EXPECT_EQ(allocationsOf([] {}), 0u);
}

class CommandAllocations : public ::testing::Test {
 protected:
  CountingHost host;
  CommandScript script{&host};
};

TEST_F(CommandAllocations, NumericCommandsAllocateNothingEvenAtTheirWidest) {
  EXPECT_EQ(
      allocationsOf([&] {
        script.setOutputState(INT_MIN, 255, INT_MAX, true);
        script.registerInfodriver(INT_MIN, INT_MIN, INT_MIN, true);
        script.registerInfodriver(1, 1, 6, false);
        script.unregisterInfodriver(INT_MIN);
        script.pollInfodriver(INT_MIN, INT_MIN, INT_MIN);
        script.registerRouter(INT_MIN, INT_MIN, INT_MIN, true);
        script.unregisterRouter(INT_MIN);
        script.pollRouter(INT_MIN, INT_MIN, INT_MIN);
        script.endEvent(INT_MIN);
        script.detachFromHost();
        script.sendCommand(CommandScript::outputStateText(INT_MIN, 255, INT_MIN, true).text());
      }),
      0u);
  EXPECT_EQ(host.executed(), 11u);
}

TEST_F(CommandAllocations, TextCommandsAllocateOnceAndOnlyPastTheStackBuffer) {
  // 300 characters: past the stack buffer in every command it is part of.
  const drez_string longer(std::string(300, 'x').c_str());
  const drez_string statesheet("statesheet"), tx("QZ_Studio_TX"), panel("1"), control("StA_Floor");
  drez_string result;
  EXPECT_EQ(allocationsOf([&] { script.setControlProperty(statesheet, tx, panel, control); }), 0u);
  EXPECT_EQ(allocationsOf([&] { script.setControlProperty(longer, longer, longer, longer); }), 1u);
  EXPECT_EQ(allocationsOf([&] { script.loadPanel(panel, "p1.drez_ui", drez_string()); }), 0u);
  EXPECT_EQ(allocationsOf([&] { script.loadPanel(longer, longer, longer); }), 1u);
  // No reply from this host: only the command text itself may allocate.
  EXPECT_EQ(allocationsOf([&] { script.getControlProperty(statesheet, panel, control, result); }),
            0u);
  EXPECT_EQ(allocationsOf([&] { script.getControlProperty(longer, longer, longer, result); }), 1u);
  // "TP 'text=' '1' 'vls_name'" and 230 characters: 255, the longest on the
  // stack; one more goes to the heap.
  const drez_string fits(std::string(230, 'v').c_str()), past(std::string(231, 'v').c_str());
  EXPECT_EQ(allocationsOf([&] { script.setControlProperty("text", fits, "1", "vls_name"); }), 0u);
  EXPECT_EQ(allocationsOf([&] { script.setControlProperty("text", past, "1", "vls_name"); }), 1u);
  EXPECT_EQ(allocationsOf([&] {
              script.sendCommand(CommandScript::controlPropertyText(
                                     "text", CommandPiece::number(INT_MIN), "1", "vls_id")
                                     .text());
            }),
            0u);
  EXPECT_EQ(host.executed(), 9u);
}

// The goals: none for an event once start-up is done, two for a request (its
// writable copy of the text and the reply block the host frees).
TEST(EventAllocations, EachMeasuredEventStaysWithinItsGoal) {
  for (const auto& scenario : makeScenarios()) {
    for (std::size_t i = 0; i < 2 * scenario->rotation().size(); ++i) {
      EXPECT_LE(allocationsOf([&] { scenario->deliverNext(); }), scenario->allocationBudget())
          << scenario->id() << " delivery " << i;
    }
  }
}

// The tap, recording, allocates nothing on any event: through it, each
// event stays within the same goal.
TEST(EventAllocations, EachMeasuredEventThroughTheTapStaysWithinItsGoal) {
  for (const auto& scenario : makeScenarios()) {
    for (std::size_t i = 0; i < 2 * scenario->rotation().size(); ++i) {
      const std::size_t direct = allocationsOf([&] { scenario->deliverNext(); });
      EXPECT_EQ(allocationsOf([&] { scenario->deliverNextThroughTap(); }), direct)
          << scenario->id() << " delivery " << i;
    }
  }
}

// drez-host's quiet run of a long scenario: each common step, once its line
// was read twice, runs within its budget of heap allocations, the
// script's own (Vantrel's copy of a request and its reply block) among them.
// The budgets are what each makes today, so that none comes back; the goal
// is none at all (bench/README.md says what is left).
struct StepBudget {
  const char* step;
  std::size_t allocations;
};

TEST(DrezHostStepAllocations, CommonStepsOfAQuietRunStayWithinTheirBudget) {
  const StepBudget budgets[] = {
      // 10 "GS", 3 "TP"; after a step of another form, whose texts' room
      // the step's own do not find.
      {"set 'RIR Tally Infodriver' 1 2", 3}, {"set 'RIR Tally Infodriver' 1 0", 2},
      {"route 'RIR SDI Router' 97 3", 2},                     // 2 "TP"
      {"route 'RIR SDI Router' 97 4", 2},    {"event 5", 0},  // "ET 5"
      {"request return=myParam", 3},
  };
  drezhost::RunOptions options;
  options.keepActionTrace = false;
  drezhost::ScenarioRunner runner(load_drez_client_script, nullptr, options);
  drezhost::ScenarioParser parser("steps.scn");
  drezhost::Step step;  // one for every line, as a run reads a scenario
  auto run = [&](const std::string& line) {
    ASSERT_TRUE(parser.feed(line, step)) << line;
    runner.run(step);
  };
  run("create");
  // The parser keeps a line's step when it reads the line a second time.
  for (int warm = 0; warm < 2; ++warm) {
    for (const StepBudget& budget : budgets) run(budget.step);
  }
  for (int round = 0; round < 3; ++round) {
    for (const StepBudget& budget : budgets) {
      const std::size_t made = allocationsOf([&] { run(budget.step); });
      EXPECT_LE(made, budget.allocations) << budget.step << ", round " << round;
    }
  }
  EXPECT_EQ(runner.finish(), drezhost::Verdict::Passed);
}

}  // namespace
}  // namespace drezbench
