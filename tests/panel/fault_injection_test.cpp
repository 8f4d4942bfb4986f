// Allocation failures raised at every allocation point of the panel's work,
// one at a time: each must leave `callback` (or the export) as promised (no
// exception, a null result, one debug line), free everything it allocated,
// hand back every reply, and leave a panel that does the next event exactly
// as a panel that never failed. Once start-up is done, the panel's events
// allocate nothing at all: for them, the tests prove there is nothing to fail.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "Vantrel.h"
#include "allocation_faults.h"
#include "drez_debug_output.h"
#include "recording_host.h"
#include "simulator/records_builder.h"

namespace {

using ::testing::IsEmpty;

// The recording host, with its own bookkeeping exempt from the failures: a
// real host's memory is not the script's to run out of.
class ExemptHost : public drezhost::RecordingHost {
 public:
  ExemptHost() {
    setResponder([](const std::string& command) -> std::optional<std::string> {
      if (command == "SD 'RIR Tally Infodriver'") return "3 0";
      if (command == "SD 'RIR SDI Router'") return "7 0";
      if (command == "SD 'RIR Audio Router'") return "8 0";
      if (command == "SD 'Studio A Blue Lights'") return "12 100";
      if (carriesReply(command)) return std::nullopt;
      return std::string();
    });
  }
  intptr_t command(const char* text, int kind) override {
    drezfault::Exempt exempt;
    return RecordingHost::command(text, kind);
  }
};

// Counts the lines written to the debug output and keeps the last one, without
// touching the heap, whose failures are under test.
class DebugLines {
 public:
  DebugLines() { drez_set_debug_sink(&DebugLines::write, this); }
  ~DebugLines() { drez_set_debug_sink(nullptr, nullptr); }
  DebugLines(const DebugLines&) = delete;
  DebugLines& operator=(const DebugLines&) = delete;

  int count = 0;
  char last[256] = {};

 private:
  static void write(const char* text, void* self) {
    DebugLines& lines = *static_cast<DebugLines*>(self);
    ++lines.count;
    std::strncpy(lines.last, text, sizeof lines.last - 1);
  }
};

// Long enough that copying it needs the heap.
const char kPath[] = "/srv/drez/panels/studio_a_blue";

// One host call: a device update (kind 1), a property request (kind 3) or an
// event id (kind 4, the id in `number`).
struct Event {
  int kind;
  int32_t device;
  int32_t index;
  int32_t number;
  std::string text;
};

Event slot(int32_t index, const char* value) { return {CB_DEVICE_UPDATE, 3, index, 0, value}; }
Event request(const char* text) { return {CB_HOST_REQUEST, 0, 0, 0, text}; }
Event eventId(int32_t id) { return {CB_EVENT_ID, 0, 0, id, ""}; }

// The reply of one call, copied; nothing when the call returned null.
using Reply = std::optional<std::string>;

// Makes the call, hands any reply block back, and returns the reply. With
// `failAt`, allocation number `failAt` of the call fails (0: none fails, only
// counting), `counted` receives how many the call made and `raised` whether
// the failure came. The record is built before that, so only the panel's own
// allocations are counted.
Reply call(drez_client_callback* panel, const Event& event,
           std::optional<std::size_t> failAt = std::nullopt, std::size_t* counted = nullptr,
           bool* raised = nullptr) {
  std::optional<drezhost::DeviceUpdateRecord> record;
  void* data = const_cast<char*>(event.text.c_str());
  if (event.kind == CB_DEVICE_UPDATE) {
    record.emplace(event.device, event.index, event.number, event.text);
    data = record->get();
  } else if (event.kind == CB_EVENT_ID) {
    data = reinterpret_cast<void*>(static_cast<intptr_t>(event.number));
  }
  if (failAt) drezfault::failAllocation(*failAt);
  const char* block = panel->callback(data, event.kind);
  if (counted != nullptr) *counted = drezfault::allocationsCounted();
  if (raised != nullptr) *raised = drezfault::failureRaised();
  drezfault::failAllocation(0);
  if (block == nullptr) return std::nullopt;
  std::string copy(block);
  panel->callback(const_cast<char*>(block), CB_RELEASE_REPLY);
  return copy;
}

struct Scenario {
  const char* name;
  std::vector<Event> before;  // brings the panel into the state under test
  Event event;                // the event whose allocations fail in turn
};

// What an undisturbed panel does for a scenario's event.
struct Reference {
  std::vector<std::string> commands;
  Reply reply;
  std::size_t allocations;
};

class FaultInjectionTest : public ::testing::Test {
 protected:
  void TearDown() override {
    drezfault::failAllocation(0);
    panel.reset();
  }

  // A new panel on a new host, brought into the scenario's state.
  void startPanel(const Scenario& scenario) {
    panel.reset();
    host = std::make_unique<ExemptHost>();
    panel.reset(load_drez_client_script(host.get(), kPath));
    ASSERT_NE(panel, nullptr);
    for (const Event& event : scenario.before) call(panel.get(), event);
    host->takeCommands();
  }

  Reference reference(const Scenario& scenario) {
    startPanel(scenario);
    Reference result;
    result.reply = call(panel.get(), scenario.event, 0, &result.allocations);
    result.commands = host->takeCommands();
    return result;
  }

  void expectHostContractKept() {
    EXPECT_THAT(host->faults(), IsEmpty());
    EXPECT_EQ(host->repliesHeld(), 0u);
  }

  std::unique_ptr<ExemptHost> host;
  std::unique_ptr<drez_client_callback, drez_script_deleter> panel;
};

bool isPrefix(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
  return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// Too long for a string's inline storage, short enough for a command's stack
// buffer.
const std::string kLongName = "Camera 4 Studio A wide, left pedestal";

TEST_F(FaultInjectionTest, EventsAllocateNothingSoNoFailureCanDropThem) {
  const Scenario scenarios[] = {
      {"studio goes to transmission, everything following it",
       {slot(4, "1"), slot(5, "1"), slot(6, "1"), slot(1, "1")},
       slot(1, "2")},
      {"alternate state changes, floor pair following it",
       {slot(4, "2"), slot(5, "2"), slot(6, "0"), slot(1, "1")},
       slot(3, "1")},
      {"follow mode of StA_Floor set to the studio state", {slot(1, "2")}, slot(4, "1")},
      {"SDI router readout", {}, {CB_DEVICE_UPDATE, 7, 97, INT32_MIN, kLongName}},
      {"audio router readout", {}, {CB_DEVICE_UPDATE, 8, 62, 3, kLongName}},
      {"event id", {}, eventId(INT32_MIN)},
  };

  for (const Scenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.name);
    const Reference expected = reference(scenario);
    ASSERT_EQ(expected.allocations, 0u) << "the event allocates";
    ASSERT_FALSE(expected.commands.empty());

    // With its first allocation made to fail, the event still does it all.
    startPanel(scenario);
    const long long liveBefore = drezfault::liveBlocks();
    bool raised = true;
    int debugLines = 0;
    {
      DebugLines debug;
      EXPECT_EQ(call(panel.get(), scenario.event, 1, nullptr, &raised), std::nullopt);
      debugLines = debug.count;
    }
    EXPECT_FALSE(raised) << "the event asked for memory";
    EXPECT_EQ(debugLines, 0);
    EXPECT_EQ(drezfault::liveBlocks(), liveBefore);
    EXPECT_EQ(host->takeCommands(), expected.commands);
    expectHostContractKept();
  }
}

TEST_F(FaultInjectionTest, EveryAllocationFailureDuringAnEventLeavesAWorkingPanel) {
  const std::string longValue = "a value long enough to need the heap";
  const Scenario scenarios[] = {
      // Past the command's stack buffer, the readout's name needs the heap.
      {"SDI router readout with a name past the stack buffer",
       {},
       {CB_DEVICE_UPDATE, 7, 97, 12, std::string(300, 'n')}},
      {"audio router readout with a name past the stack buffer",
       {},
       {CB_DEVICE_UPDATE, 8, 62, 3, std::string(300, 'n')}},
      {"myParam set", {}, request(("myParam=" + longValue).c_str())},
      {"return all", {request(("myParam=" + longValue).c_str())}, request("return=all")},
      {"return myParam", {request(("myParam=" + longValue).c_str())}, request("return=myParam")},
      {"instance set", {}, request(("instance=" + longValue).c_str())},
      {"events listed", {}, request("_events")},
      {"commands listed", {}, request("_commands.with.some.dotted.parts=and a value")},
  };

  for (const Scenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.name);
    const Reference expected = reference(scenario);
    ASSERT_GT(expected.allocations, 0u) << "the event allocates nothing: no point to fail";

    for (std::size_t n = 1; n <= expected.allocations; ++n) {
      SCOPED_TRACE("allocation " + std::to_string(n) + " of " +
                   std::to_string(expected.allocations));
      startPanel(scenario);
      const long long liveBefore = drezfault::liveBlocks();
      Reply failedReply;
      bool raised = false;
      long long liveAfter = 0;
      int debugLines = 0;
      std::string debugLine;
      {
        DebugLines debug;
        failedReply = call(panel.get(), scenario.event, n, nullptr, &raised);
        liveAfter = drezfault::liveBlocks();
        debugLines = debug.count;
        debugLine = debug.last;
      }
      EXPECT_EQ(failedReply, std::nullopt) << "a failed request gives no reply";
      EXPECT_TRUE(raised);
      EXPECT_EQ(liveAfter, liveBefore) << "the failed call leaked";
      EXPECT_EQ(debugLines, 1);
      EXPECT_EQ(debugLine, "drez_script_helper: callback of kind " +
                               std::to_string(scenario.event.kind) +
                               " failed (out of memory); the event was dropped\n");
      const std::vector<std::string> sent = host->takeCommands();
      EXPECT_TRUE(isPrefix(sent, expected.commands))
          << "a failed call may stop early, but must not send anything else";
      expectHostContractKept();

      // The same event again is done in full, as by a panel that never failed.
      EXPECT_EQ(call(panel.get(), scenario.event), expected.reply);
      EXPECT_EQ(host->takeCommands(), expected.commands);
      expectHostContractKept();
    }
  }
}

// Start-up commands an undisturbed panel sends.
std::vector<std::string> startupCommands(std::size_t* allocations) {
  ExemptHost host;
  drezfault::failAllocation(0);
  std::unique_ptr<drez_client_callback, drez_script_deleter> panel(
      load_drez_client_script(&host, kPath));
  *allocations = drezfault::allocationsCounted();
  return host.commands();
}

// What a start-up that failed after sending `sent` must have sent in all:
// those commands, an unregistration for each registration among them in the
// same order, then "AS".
std::vector<std::string> undoneStartup(std::vector<std::string> sent) {
  const std::size_t count = sent.size();
  for (std::size_t i = 0; i < count; ++i) {
    const std::string code = sent[i].substr(0, 2);
    if (code != "IR" && code != "RR") continue;
    const std::string device = sent[i].substr(3, sent[i].find(' ', 3) - 3);
    sent.push_back((code == "IR" ? "IU " : "RU ") + device);
  }
  sent.push_back("AS");
  return sent;
}

TEST_F(FaultInjectionTest, EveryAllocationFailureDuringStartUpMakesTheExportReturnNull) {
  std::size_t allocations = 0;
  const std::vector<std::string> startup = startupCommands(&allocations);
  ASSERT_EQ(startup.size(), 11u);
  ASSERT_GT(allocations, 1u);

  for (std::size_t n = 1; n <= allocations; ++n) {
    SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(allocations));
    host = std::make_unique<ExemptHost>();
    const long long liveBefore = drezfault::liveBlocks();
    drezfault::failAllocation(n);
    drez_client_callback* script = load_drez_client_script(host.get(), kPath);
    drezfault::failAllocation(0);
    EXPECT_EQ(script, nullptr);
    drez_delete_script(script);
    EXPECT_EQ(drezfault::liveBlocks(), liveBefore) << "the failed start-up leaked";
    expectHostContractKept();

    // Nothing at all when the object or its base could not be made;
    // otherwise what was sent, undone, and "AS".
    const std::vector<std::string>& sent = host->commands();
    if (sent.empty()) continue;
    std::size_t common = 0;
    while (common < sent.size() && common < startup.size() && sent[common] == startup[common])
      ++common;
    ASSERT_LT(common, startup.size()) << "the whole start-up went out, yet the export failed";
    EXPECT_EQ(sent, undoneStartup({startup.begin(), startup.begin() + common}));
  }
}

// The injection itself: a failure that is never raised would let every test
// above pass without testing anything. No test macro runs while it is armed,
// since those allocate too.
TEST(AllocationFaults, FailsExactlyTheAllocationAskedFor) {
  const long long liveBefore = drezfault::liveBlocks();
  drezfault::failAllocation(2);
  void* first = ::operator new(8, std::nothrow);
  void* second = ::operator new(8, std::nothrow);
  void* third = ::operator new(8, std::nothrow);
  const std::size_t counted = drezfault::allocationsCounted();
  const bool raised = drezfault::failureRaised();
  bool threw = false;
  drezfault::failAllocation(1);
  try {
    ::operator delete(::operator new(8));
  } catch (const std::bad_alloc&) {
    threw = true;
  }
  drezfault::failAllocation(0);

  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  EXPECT_EQ(counted, 3u);
  EXPECT_TRUE(raised);
  EXPECT_TRUE(threw);
  ::operator delete(first);
  ::operator delete(third);
  EXPECT_EQ(drezfault::liveBlocks(), liveBefore);
}

}  // namespace
