// A host may call `callback` from inside `command`: a device changes while
// the panel is still sending the commands of another change. Whatever the
// nesting, the panel must end up doing what it does when the same events
// come one after the other, and in the same state.

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "Vantrel.h"
#include "vantrel_test.h"

namespace {

using ::testing::ElementsAre;

struct Update {
  int32_t device;
  int32_t index;
  int32_t number;
  std::string text;
};

Update tally(int32_t index, const char* value) { return {kTally, index, 0, value}; }

struct NestedCase {
  const char* name;
  std::vector<Update> before;  // brings the panel into the state under test
  Update outer;
  std::string trigger;  // the command inside which the host delivers `inner`
  Update inner;
};

// Events that show the whole state: each slot value, each follow mode and
// both readouts, one after the other.
std::vector<Update> stateProbe() {
  std::vector<Update> probe;
  for (const char* value : {"0", "1", "2"}) {
    probe.push_back(tally(1, value));
    probe.push_back(tally(3, value));
  }
  for (int slot : {4, 5, 6}) {
    for (const char* mode : {"0", "1", "2"}) probe.push_back(tally(slot, mode));
  }
  return probe;
}

class ReentrancyTest : public VantrelTest {
 protected:
  void send(const Update& update) {
    deliver(panel.get(), update.device, update.index, update.number, update.text);
  }

  // The commands of `events` on a new panel, after `before`.
  std::vector<std::string> sequential(const std::vector<Update>& before,
                                      const std::vector<Update>& events) {
    start();
    for (const Update& update : before) send(update);
    host.takeCommands();
    for (const Update& update : events) send(update);
    return host.takeCommands();
  }

  // The commands of `outer` on a new panel after `before`, with `inner`
  // delivered from inside the first command `trigger`.
  std::vector<std::string> nested(const NestedCase& c) {
    start();
    for (const Update& update : c.before) send(update);
    host.takeCommands();
    bool delivered = false;
    host.setExecuteHook([&](const std::string& command) {
      if (delivered || command != c.trigger) return;
      delivered = true;
      send(c.inner);
    });
    send(c.outer);
    host.setExecuteHook(nullptr);
    EXPECT_TRUE(delivered) << "the outer event never sent " << c.trigger;
    return host.takeCommands();
  }

  std::vector<std::string> probeCommands() {
    for (const Update& update : stateProbe()) send(update);
    return host.takeCommands();
  }
};

TEST_F(ReentrancyTest, UpdateDeliveredInsideACommandActsAsIfItCameAfterwards) {
  const std::vector<Update> allFollowStudio = {tally(4, "1"), tally(5, "1"), tally(6, "1"),
                                               tally(1, "1")};
  const NestedCase cases[] = {
      {"studio state changes back while the new one is shown", allFollowStudio, tally(1, "2"),
       sheet("StA_Floor", "QZ_Studio_TX"), tally(1, "0")},
      {"studio state changes back while the lights switch", allFollowStudio, tally(1, "2"),
       gs(1, 1), tally(1, "1")},
      {"StA_Floor stops following while the lights switch", allFollowStudio, tally(1, "2"),
       gs(0, 0), tally(4, "0")},
      {"alternate state changes while the floor pair follows it",
       {tally(4, "2"), tally(5, "2"), tally(6, "1"), tally(1, "1"), tally(3, "0")},
       tally(3, "1"),
       sheet("StC_Floor", "QZ_Studio_REH"),
       tally(3, "2")},
      {"studio state changes while StC_News is switched to follow it",
       {tally(1, "1")},
       tally(6, "1"),
       sheet("StC_News", "QZ_Studio_REH"),
       tally(1, "2")},
      {"SDI route changes while the readout is written",
       {},
       {kSdi, 97, 12, "CAM 12"},
       "TP 'text=12' '1' 'vls_id'",
       {kSdi, 97, 13, "CAM 13"}},
      {"audio route changes while the readout is written",
       {},
       {kAudio, 62, 3, "MIC 3"},
       "TP 'text=3' '1' 'als_id'",
       {kAudio, 62, 4, "MIC 4"}},
      {"router readout inside a tally change",
       allFollowStudio,
       tally(1, "2"),
       gs(4, 0),
       {kSdi, 97, 5, "VT 5"}},
  };

  for (const NestedCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> expected = sequential(c.before, {c.outer, c.inner});
    const std::vector<std::string> expectedAfter = probeCommands();
    EXPECT_EQ(nested(c), expected);
    EXPECT_EQ(probeCommands(), expectedAfter) << "the nesting left another state behind";
  }
}

TEST_F(ReentrancyTest, OneNestedChangeIsSentWholeAfterTheOuterOne) {
  // The case the table above proves in general, spelled out.
  start();
  slots({"1", "", "", "1", "0", "0"});
  // Once only; the hook must not replace itself while it runs.
  bool delivered = false;
  host.setExecuteHook([&](const std::string& command) {
    if (delivered || command != sheet("StA_Floor", "QZ_Studio_TX")) return;
    delivered = true;
    send(tally(1, "0"));
  });
  EXPECT_THAT(slot(1, "2"),
              ElementsAre(gs(0, 0), gs(5, 1), gs(1, 1), gs(2, 0), gs(3, 0), gs(4, 0), gs(6, 1),
                          gs(7, 1), gs(8, 1), gs(9, 1), sheet("StA_Floor", "QZ_Studio_TX"),
                          gs(0, 0), gs(5, 0), gs(1, 0), gs(2, 0), gs(3, 0), gs(4, 0), gs(6, 0),
                          gs(7, 0), gs(8, 0), gs(9, 0), sheet("StA_Floor", "QZ_Studio_OFF")));
  host.setExecuteHook(nullptr);
  EXPECT_THAT(slot(1, "0"), ::testing::IsEmpty()) << "the studio state is 0 now";
}

TEST_F(ReentrancyTest, RequestsAndEventIdsInsideACommandAreAnsweredAtOnce) {
  start();
  std::vector<std::string> replies;
  host.setExecuteHook([&](const std::string& command) {
    if (!replies.empty() || command != "TP 'text=12' '1' 'vls_id'") return;
    request(panel.get(), "myParam=nested");
    replies.push_back(request(panel.get(), "return=myParam"));
    panel->callback(reinterpret_cast<void*>(intptr_t{9}), CB_EVENT_ID);
  });
  deliver(panel.get(), kSdi, 97, 12, "CAM 12");
  host.setExecuteHook(nullptr);
  EXPECT_THAT(replies, ElementsAre("myParam=nested"));
  EXPECT_THAT(host.takeCommands(),
              ElementsAre("TP 'text=12' '1' 'vls_id'", "ET 9", "TP 'text=CAM 12' '1' 'vls_name'"));
}

TEST_F(ReentrancyTest, UpdateDeliveredWhileStartUpRegistersWaitsForEveryDevice) {
  // A host that answers a registration at once, from inside the command,
  // before the panel has looked up its routers and lights. The address is
  // known only because the object is built in storage this test owns.
  const std::vector<std::string> expected = sequential(
      {}, {tally(1, "2"), {kSdi, 97, 12, "CAM 12"}, {kAudio, 62, 3, "MIC 3"}, tally(4, "1")});
  panel.reset();
  host.takeCommands();

  alignas(Vantrel) unsigned char storage[sizeof(Vantrel)];
  drez_client_callback* script = reinterpret_cast<drez_client_callback*>(storage);
  host.setExecuteHook([&](const std::string& command) {
    if (command == "IR 3 1 6") deliver(script, kTally, 1, 0, "2");
    if (command == "RR 7 97 97") deliver(script, kSdi, 97, 12, "CAM 12");
    if (command == "RR 8 62 62") deliver(script, kAudio, 62, 3, "MIC 3");
    if (command == "SD 'Studio A Blue Lights'") deliver(script, kTally, 4, 0, "1");
  });
  Vantrel* vantrel = new (storage) Vantrel(&host, "panels/studio");
  host.setExecuteHook(nullptr);

  // The devices are all known once the lights are looked up, before the
  // polls: that is where the updates that came meanwhile are handled.
  std::vector<std::string> startup = kStartupLookups;
  startup.insert(startup.end(), expected.begin(), expected.end());
  startup.insert(startup.end(), kStartupPolls.begin(), kStartupPolls.end());
  EXPECT_EQ(host.takeCommands(), startup);
  vantrel->~Vantrel();
  EXPECT_THAT(host.takeCommands(), ElementsAre("IU 3", "RU 7", "RU 8", "AS"));
}

TEST_F(ReentrancyTest, UpdateLeftWaitingByAFailedOneIsHandledFirstNextTime) {
  // The outer update fails (here the host throws from inside its first
  // command) after a nested one was put to wait: the waiting one is not lost,
  // and it is handled before the next update, as it came before it.
  const std::vector<Update> before = {tally(4, "1"), tally(1, "1")};
  const std::vector<std::string> expected = sequential(before, {tally(1, "0"), tally(5, "1")});
  const std::vector<std::string> expectedAfter = probeCommands();

  start();
  for (const Update& update : before) send(update);
  host.takeCommands();
  bool failed = false;
  host.setExecuteHook([&](const std::string& command) {
    if (failed || command != gs(0, 0)) return;
    failed = true;
    send(tally(1, "0"));
    throw std::runtime_error("the host failed");
  });
  DebugCapture debug;
  send(tally(1, "2"));  // the framework catches the failure: the update is lost
  host.setExecuteHook(nullptr);
  EXPECT_THAT(host.takeCommands(), ElementsAre(gs(0, 0)));
  EXPECT_THAT(debug.lines, ElementsAre("drez_script_helper: callback of kind 1 failed (the host "
                                       "failed); the event was dropped\n"));

  send(tally(5, "1"));
  EXPECT_EQ(host.takeCommands(), expected);
  EXPECT_EQ(probeCommands(), expectedAfter);
}

}  // namespace
