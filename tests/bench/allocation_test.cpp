// Heap allocations of the commands and of the measured events: numeric
// commands allocate nothing, a text command at most once.

#include <gtest/gtest.h>

#include <climits>
#include <new>
#include <string>

#include "allocation_faults.h"
#include "counting_host.h"
#include "drez_script_helper.h"
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
  EXPECT_EQ(allocationsOf([&] {
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
            }),
            0u);
  EXPECT_EQ(host.executed(), 10u);
}

TEST_F(CommandAllocations, TextCommandsAllocateAtMostOnceShortOrLong) {
  const drez_string longer(std::string(300, 'x').c_str());
  const drez_string statesheet("statesheet"), tx("QZ_Studio_TX"), panel("1"), control("StA_Floor");
  drez_string result;
  EXPECT_LE(allocationsOf([&] { script.setControlProperty(statesheet, tx, panel, control); }), 1u);
  EXPECT_LE(allocationsOf([&] { script.setControlProperty(longer, longer, longer, longer); }), 1u);
  EXPECT_LE(allocationsOf([&] { script.loadPanel(panel, "p1.drez_ui", drez_string()); }), 1u);
  EXPECT_LE(allocationsOf([&] { script.loadPanel(longer, longer, longer); }), 1u);
  // No reply from this host: only the command text itself may allocate.
  EXPECT_LE(allocationsOf([&] { script.getControlProperty(statesheet, panel, control, result); }),
            1u);
  EXPECT_LE(allocationsOf([&] { script.getControlProperty(longer, longer, longer, result); }), 1u);
  EXPECT_EQ(host.executed(), 6u);
}

TEST(EventAllocations, EachMeasuredEventStaysWithinItsBudget) {
  for (const auto& scenario : makeScenarios()) {
    if (!scenario->hasAllocationBudget()) continue;
    for (std::size_t i = 0; i < 2 * scenario->rotation().size(); ++i) {
      EXPECT_LE(allocationsOf([&] { scenario->deliverNext(); }), scenario->allocationBudget())
          << scenario->id() << " delivery " << i;
    }
  }
}

TEST(EventAllocations, RequestAllocatesNoMoreThanItsReplyAndItsParse) {
  for (const auto& scenario : makeScenarios()) {
    if (scenario->id() != "request") continue;
    // The reply block the host gets, and the request's own writable copy.
    EXPECT_LE(allocationsOf([&] { scenario->deliverNext(); }), 2u);
  }
}

}  // namespace
}  // namespace drezbench
