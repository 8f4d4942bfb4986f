// The simulated host: what it answers, how it delivers, and what it reports
// about scripts that break the host contract.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "drez_script_helper.h"
#include "runner/host_self_check.h"
#include "scenario/installation_file.h"
#include "simulator/simulated_host.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace drezhost;

// A script whose behaviour the test gives as functions of the host.
class FakeScript : public drez_client_callback {
 public:
  using Handler = std::function<const char*(drez_client_host*, void* data, int kind)>;
  using Hook = std::function<void(drez_client_host*)>;

  FakeScript(drez_client_host* host, Handler handler, Hook onDelete)
      : host_(host), handler_(std::move(handler)), on_delete_(std::move(onDelete)) {}
  ~FakeScript() override {
    if (on_delete_) on_delete_(host_);
  }
  const char* callback(void* data, int kind) override {
    kinds.push_back(kind);
    return handler_ ? handler_(host_, data, kind) : nullptr;
  }

  std::vector<int> kinds;

 private:
  drez_client_host* host_;
  Handler handler_;
  Hook on_delete_;
};

intptr_t send(drez_client_host* host, const char* text) {
  return host->command(text, HOST_CMD_EXECUTE);
}

void detach(drez_client_host* host) { send(host, "AS"); }

class SimulatedHostTest : public ::testing::Test {
 protected:
  // Creates a fake script: `onCreate` runs inside the export.
  FakeScript* make(FakeScript::Handler handler = nullptr, FakeScript::Hook onCreate = nullptr,
                   FakeScript::Hook onDelete = detach) {
    Script* script = host.create(
        "s" + std::to_string(++count),
        [&](drez_client_host* h, const char*) {
          if (onCreate) onCreate(h);
          return new FakeScript(h, handler, onDelete);
        },
        "");
    return script != nullptr ? static_cast<FakeScript*>(script->object) : nullptr;
  }
  Script& script(const std::string& name) { return *host.findScript(name); }
  std::vector<std::string> errors() const { return messages(Severity::Error); }
  std::vector<std::string> warnings() const { return messages(Severity::Warning); }
  std::vector<std::string> messages(Severity severity) const {
    std::vector<std::string> found;
    for (const Problem& problem : validator.problems()) {
      if (problem.severity == severity) found.push_back(problem.message);
    }
    return found;
  }

  std::ostringstream out;
  Installation studio = studioA();
  Trace trace{&out};
  Validator validator;
  SimulatedHost host{studio, trace, validator};
  int count = 0;
};

TEST_F(SimulatedHostTest, RunsVantrelThroughStartUpAndTeardown) {
  Script* vantrel = host.create("vantrel", load_drez_client_script, "");
  ASSERT_NE(vantrel, nullptr);
  const std::vector<std::string> sent = host.takeCommands();
  ASSERT_GE(sent.size(), 11u);
  EXPECT_THAT(
      std::vector<std::string>(sent.begin(), sent.begin() + 11),
      ElementsAre("PS '1' 'p1.drez_ui'", "SD 'RIR Tally Infodriver'", "IR 11 1 6",
                  "SD 'RIR SDI Router'", "RR 21 97 97", "SD 'RIR Audio Router'", "RR 22 62 62",
                  "SD 'Studio A Blue Lights'", "RP 21 97 97", "RP 22 62 62", "IP 11 1 6"));
  EXPECT_EQ(studio.panel("1")->control("vls_name")->property("text"), "CAM 1");
  host.setSlot("RIR Tally Infodriver", 1, "2");
  EXPECT_EQ(studio.findDevice(31)->output(106), 1);
  host.takeCommands();
  host.destroy(*vantrel);
  EXPECT_THAT(host.takeCommands(), ElementsAre("IU 11", "RU 21", "RU 22", "AS"));
  EXPECT_THAT(validator.problems(), ::testing::IsEmpty());
  EXPECT_EQ(host.repliesHeld(), 0u);
  EXPECT_THAT(out.str(), HasSubstr("    3    SD 'RIR Tally Infodriver'  => \"11 0\"\n"));
  EXPECT_THAT(out.str(), HasSubstr("    4    release the reply to SD 'RIR Tally Infodriver'\n"));
}

TEST_F(SimulatedHostTest, AnswersLookupsPropertiesAndListsFromTheStudio) {
  std::vector<std::string> replies;
  auto reply = [&](drez_client_host* h, const char* text) {
    const intptr_t answer = send(h, text);
    replies.push_back(answer != 0 ? reinterpret_cast<const char*>(answer) : "(null)");
    if (answer != 0) h->command(reinterpret_cast<const char*>(answer), HOST_CMD_RELEASE);
  };
  make([&](drez_client_host* h, void*, int) -> const char* {
    EXPECT_EQ(send(h, "PS '1' 'missing.drez_ui'"), 0);
    EXPECT_EQ(send(h, "PS '1' 'p1.drez_ui'"), 1);
    send(h, "TP 'statesheet=QZ_Studio_TX' '1' 'StA_Floor'");
    send(h, "TP 'text=a=b' '1' 'StA_Floor'");
    reply(h, "SD 'Studio A Blue Lights'");
    reply(h, "SD 'Nobody'");
    reply(h, "TG '1' 'StA_Floor' 'statesheet'");
    reply(h, "TG '1' 'StA_Floor' 'value'");
    reply(h, "TG '1' 'StA_Floor' 'all'");
    reply(h, "TG '1' 'Nope' 'value'");
    reply(h, "XI '1' 'alm_'");
    reply(h, "XI '1' 'zzz'");
    reply(h, "XI '2' 'alm_'");
    return nullptr;
  });
  host.fireEvent(script("s1"), 1);
  EXPECT_THAT(replies, ElementsAre("31 100", "(null)", "statesheet=QZ_Studio_TX",
                                   "value=", "statesheet=QZ_Studio_TX\ntext=a=b", "(null)",
                                   "alm_1,alm_2", "", "(null)"));
  EXPECT_THAT(warnings(),
              ElementsAre(HasSubstr("PS '1' 'missing.drez_ui': no panel file 'missing.drez_ui'"),
                          HasSubstr("SD 'Nobody': no device named 'Nobody'"),
                          HasSubstr("TG '1' 'Nope' 'value': panel '1' has no control 'Nope'"),
                          HasSubstr("XI '2' 'alm_': no panel '2' is loaded")));
  host.setAnswerLookups(false);
  replies.clear();
  make([&](drez_client_host* h, void*, int) -> const char* {
    reply(h, "SD 'Studio A Blue Lights'");
    return nullptr;
  });
  host.fireEvent(script("s2"), 2);
  EXPECT_THAT(replies, ElementsAre("(null)"));
}

TEST_F(SimulatedHostTest, SwitchesOutputsOfOutputDevicesOnly) {
  make([](drez_client_host* h, void*, int) -> const char* {
    send(h, "GS 31 104 7 0");
    send(h, "GS 21 104 1 0");
    return nullptr;
  });
  host.fireEvent(script("s1"), 1);
  EXPECT_EQ(studio.findDevice(31)->output(104), 7);
  EXPECT_THAT(warnings(),
              ElementsAre(HasSubstr(
                  "GS 21 104 1 0: device 21 (RIR SDI Router) is a router, not an output device")));
}

TEST_F(SimulatedHostTest, DeliversAChangeToEveryScriptRegisteredForIt) {
  auto registerTally = [](drez_client_host* h) { send(h, "IR 11 1 3"); };
  auto unregister = [](drez_client_host* h) {
    send(h, "IU 11");
    detach(h);
  };
  FakeScript* first = make(nullptr, registerTally, unregister);
  FakeScript* second = make(nullptr, registerTally, unregister);
  FakeScript* other = make();
  host.setSlot("RIR Tally Infodriver", 2, "5");
  host.setSlot("RIR Tally Infodriver", 4, "5");
  EXPECT_THAT(first->kinds, ElementsAre(CB_DEVICE_UPDATE));
  EXPECT_THAT(second->kinds, ElementsAre(CB_DEVICE_UPDATE));
  EXPECT_THAT(other->kinds, ::testing::IsEmpty());
  host.destroy(script("s1"));
  host.setSlot("RIR Tally Infodriver", 3, "5");
  EXPECT_THAT(second->kinds, ElementsAre(CB_DEVICE_UPDATE, CB_DEVICE_UPDATE));
  EXPECT_THAT(validator.problems(), ::testing::IsEmpty());
}

TEST_F(SimulatedHostTest, PollAnswersComeFromInsideThePollOrAfterTheCall) {
  std::vector<std::string> order;
  make([&](drez_client_host* h, void* data, int kind) -> const char* {
    if (kind == CB_DEVICE_UPDATE) {
      order.push_back("slot " + std::to_string(static_cast<DeviceUpdate*>(data)->index));
    } else {
      send(h, "IP 11 2 3");
      order.push_back("poll sent");
    }
    return nullptr;
  });
  host.notify(script("s1"), CB_NOTIFY6, 0);
  EXPECT_THAT(order, ElementsAre("slot 2", "slot 3", "poll sent"));
  order.clear();
  host.setPollDelivery(PollDelivery::Queued);
  host.notify(script("s1"), CB_NOTIFY6, 0);
  EXPECT_THAT(order, ElementsAre("poll sent", "slot 2", "slot 3"));
  order.clear();
  host.setPollDelivery(PollDelivery::Off);
  host.notify(script("s1"), CB_NOTIFY6, 0);
  EXPECT_THAT(order, ElementsAre("poll sent"));
}

TEST_F(SimulatedHostTest, AnswersPollsFromTheConstructorWhenTheExportReturns) {
  bool created = false;
  std::vector<int32_t> slots;
  make(
      [&](drez_client_host*, void* data, int) -> const char* {
        EXPECT_TRUE(created);
        slots.push_back(static_cast<DeviceUpdate*>(data)->index);
        return nullptr;
      },
      [&](drez_client_host* h) {
        send(h, "IP 11 5 9");
        created = true;
      });
  EXPECT_THAT(slots, ElementsAre(5, 6));
}

TEST_F(SimulatedHostTest, ATriggerChangesTheStudioFromInsideACommand) {
  std::vector<std::string> order;
  make(
      [&](drez_client_host* h, void* data, int kind) -> const char* {
        if (kind == CB_DEVICE_UPDATE) {
          order.push_back("update " + std::string(static_cast<DeviceUpdate*>(data)->text));
        } else {
          send(h, "ET 9");
          order.push_back("after ET");
        }
        return nullptr;
      },
      [](drez_client_host* h) { send(h, "IR 11 1 1"); },
      [](drez_client_host* h) {
        send(h, "IU 11");
        detach(h);
      });
  host.onCommand("ET 9", [&] { host.setSlot("RIR Tally Infodriver", 1, "2"); });
  EXPECT_THAT(host.pendingTriggers(), ElementsAre("ET 9"));
  host.fireEvent(script("s1"), 9);
  EXPECT_THAT(order, ElementsAre("update 2", "after ET"));
  EXPECT_THAT(host.pendingTriggers(), ::testing::IsEmpty());
  host.setPollDelivery(PollDelivery::Queued);
  order.clear();
  host.onCommand("ET 9", [&] { host.setSlot("RIR Tally Infodriver", 1, "0"); });
  host.fireEvent(script("s1"), 9);
  EXPECT_THAT(order, ElementsAre("after ET", "update 0"));
}

// The panel's label for the audio router, as the studio shows it.
std::string audioLabel(const Installation& studio) {
  return studio.panel("1")->control("als_name")->property("text");
}

TEST(SimulatedHostDelivery, APollsAnswerNeverTakesAPanelBackToAnOlderSource) {
  // Vantrel's start-up: the SDI router's answer makes the audio router
  // change from inside a command, before the audio router's own answer.
  // Then a change inside an event's acknowledgement.
  const struct {
    PollDelivery mode;
    const char* afterStart;  // the label once the panel has started
  } cases[] = {
      {PollDelivery::Reentrant, "Desk B"},
      {PollDelivery::Queued, "Desk B"},
      {PollDelivery::Off, ""},  // nothing answered, nothing changed
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    std::ostringstream out;
    Installation studio = studioA();
    Trace trace{&out};
    Validator validator;
    SimulatedHost host{studio, trace, validator};
    host.setPollDelivery(c.mode);
    host.onCommand("TP 'text=CAM 1' '1' 'vls_name'",
                   [&] { host.route("RIR Audio Router", 62, 6, ""); });
    Script* vantrel = host.create("vantrel", load_drez_client_script, "");
    ASSERT_NE(vantrel, nullptr);
    EXPECT_THAT(host.deliveredStateBreaches(), ::testing::IsEmpty());
    EXPECT_EQ(audioLabel(studio), c.afterStart);
    host.onCommand("ET 7", [&] { host.route("RIR Audio Router", 62, 9, ""); });
    host.fireEvent(*vantrel, 7);
    EXPECT_THAT(host.deliveredStateBreaches(), ::testing::IsEmpty());
    EXPECT_EQ(audioLabel(studio), "VT 1 audio");
    host.destroy(*vantrel);
    EXPECT_EQ(validator.unexpectedErrors(), 0u) << out.str();
  }
}

// What a script writes on its debug channel belongs to the call it wrote it
// in, traced or not: a failed handler's line written before a command whose
// poll answer calls the script again is the outer call's, not the nested
// update's; one written in the update is the update's.
TEST(SimulatedHostDebugLines, ALineBelongsToTheCallThatWroteIt) {
  struct Channel : DebugChannel {
    std::vector<std::string> written;
    void take(std::vector<std::string>& lines, bool) override {
      lines.insert(lines.end(), written.begin(), written.end());
      written.clear();
    }
  };
  const std::string dropped =
      "drez_script_helper: callback of kind 6 failed (boom); the event was dropped";
  const struct {
    bool traced;
    bool inUpdate;  // written in the nested update, not before the poll
    const char* blamed;
    const char* spared;
  } cases[] = {
      {true, false, "notify 6 (value 0)", "device update"},
      {false, false, "notify 6 (value 0)", "device update"},
      {true, true, "device update", "notify 6"},
      {false, true, "device update", "notify 6"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.traced ? "traced" : "not traced") +
                 (c.inUpdate ? ", in the update" : ", before the poll"));
    std::ostringstream out;
    Channel channel;  // outlives the host, which takes lines as it deletes the script
    Installation studio = studioA();
    Trace trace{c.traced ? &out : nullptr};
    Validator validator;
    SimulatedHost host{studio, trace, validator};
    host.setDebugChannel(&channel);
    host.create(
        "s1",
        [&](drez_client_host* h, const char*) {
          return new FakeScript(
              h,
              [&](drez_client_host* inner, void*, int kind) -> const char* {
                if (kind == CB_DEVICE_UPDATE) {
                  if (c.inUpdate) channel.written.push_back(dropped);
                } else {
                  if (!c.inUpdate) channel.written.push_back(dropped);
                  send(inner, "IP 11 2 2");
                }
                return nullptr;
              },
              detach);
        },
        "");
    host.notify(*host.findScript("s1"), CB_NOTIFY6, 0);
    std::vector<std::string> errors;
    for (const Problem& problem : validator.problems()) errors.push_back(problem.message);
    ASSERT_EQ(errors.size(), 1u) << ::testing::PrintToString(errors);
    EXPECT_THAT(errors[0], HasSubstr(c.blamed));
    EXPECT_THAT(errors[0], HasSubstr("the event was lost"));
    EXPECT_THAT(errors[0], ::testing::Not(HasSubstr(c.spared)));
    // The trace shows the line where it was written: before the poll, or
    // inside the update that the poll's answer made.
    if (c.traced) {
      const std::string text = out.str();
      const std::size_t line = text.find("debug: ");
      const std::size_t poll = text.find("IP 11 2 2");
      const std::size_t update = text.find("device update");
      ASSERT_NE(line, std::string::npos) << text;
      EXPECT_EQ(line < poll, !c.inUpdate) << text;
      EXPECT_EQ(line > update, c.inUpdate) << text;
    }
  }
}

TEST_F(SimulatedHostTest, AQueuedChangeOvertakenByANewerOneCarriesTheNewerState) {
  // Both changes of the event's acknowledgement wait for its end; slot 1's
  // delivery makes slot 2 change again, and that change is delivered first.
  std::vector<std::string> told;
  make(
      [&](drez_client_host* h, void* data, int kind) -> const char* {
        if (kind == CB_DEVICE_UPDATE) {
          const auto* update = static_cast<DeviceUpdate*>(data);
          told.push_back(std::to_string(update->index) + "=" + update->text);
          if (update->index == 1) send(h, "GS 31 100 1 0");
        } else {
          send(h, "ET 9");
        }
        return nullptr;
      },
      [](drez_client_host* h) { send(h, "IR 11 1 2"); },
      [](drez_client_host* h) {
        send(h, "IU 11");
        detach(h);
      });
  host.setPollDelivery(PollDelivery::Queued);
  host.onCommand("ET 9", [&] {
    host.setSlot("RIR Tally Infodriver", 1, "p");
    host.setSlot("RIR Tally Infodriver", 2, "x");
  });
  host.onCommand("GS 31 100 1 0", [&] { host.setSlot("RIR Tally Infodriver", 2, "y"); });
  host.fireEvent(script("s1"), 9);
  EXPECT_THAT(told, ElementsAre("1=p", "2=y", "2=y"));
  EXPECT_THAT(host.deliveredStateBreaches(), ::testing::IsEmpty());
}

TEST_F(SimulatedHostTest, ReportsAScriptLeftBelievingAStateTheStudioNoLongerHas) {
  Script* vantrel = host.create("vantrel", load_drez_client_script, "");
  ASSERT_NE(vantrel, nullptr);
  EXPECT_THAT(host.deliveredStateBreaches(), ::testing::IsEmpty());
  // Changed behind the host's back: nothing is delivered.
  studio.route("RIR Audio Router", 62, 6, "");
  studio.setSlot("RIR Tally Infodriver", 2, "x");
  std::vector<std::string> found;
  for (const StateBreach& breach : host.deliveredStateBreaches()) found.push_back(breach.message);
  EXPECT_THAT(found,
              ElementsAre("vantrel was left believing RIR Tally Infodriver (11) slot 2: \"\" "
                          "(number 0), while the infodriver holds \"x\" (number 0)",
                          "vantrel was left believing RIR Audio Router (22) destination 62: "
                          "source 5 \"Desk A\", while the router routes source 6 \"Desk B\""));
  // A fault of the host: nothing is held against the script.
  EXPECT_THAT(validator.problems(), ::testing::IsEmpty());
  // Once the change is delivered, the script knows.
  host.route("RIR Audio Router", 62, 6, "");
  ASSERT_EQ(host.deliveredStateBreaches().size(), 1u);
  EXPECT_EQ(host.deliveredStateBreaches()[0].index, 2);
  host.setSlot("RIR Tally Infodriver", 2, "x");
  EXPECT_THAT(host.deliveredStateBreaches(), ::testing::IsEmpty());
}

TEST_F(SimulatedHostTest, TheSelfCheckJudgesTheHostOnlyOnceItsOperationIsOver) {
  HostSelfCheck selfCheck(host);
  host.addObserver(&selfCheck);
  Script* first = host.create("a", load_drez_client_script, "");
  Script* second = host.create("b", load_drez_client_script, "");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  // A change goes to each script in its own call: the second is not told
  // yet when the first's call is over, which is no breach.
  host.route("RIR Audio Router", 62, 6, "");
  host.setSlot("RIR Tally Infodriver", 2, "x");
  host.fireEvent(*first, 3);
  EXPECT_THAT(selfCheck.findings(), ::testing::IsEmpty());
  EXPECT_GE(selfCheck.checked(), 5u);
  // Changed behind the host's back: found after the next call, each once.
  studio.route("RIR Audio Router", 62, 9, "");
  host.fireEvent(*first, 4);
  host.fireEvent(*second, 5);
  EXPECT_THAT(selfCheck.findings(),
              ElementsAre(HasSubstr("drez-host's own fault, not the script's: after #"),
                          HasSubstr("b was left believing RIR Audio Router (22) destination 62: "
                                    "source 6 \"Desk B\", while the router routes source 9")));
  EXPECT_THAT(selfCheck.findings()[0], HasSubstr("event id 4, a was left believing"));
  EXPECT_THAT(validator.problems(), ::testing::IsEmpty());
  host.destroy(*first);
  host.destroy(*second);
}

TEST_F(SimulatedHostTest, HoldsItselfOnlyToWhatItPromisedToKeepUpToDate) {
  // The script polls a slot before it registers, and leaves the infodriver
  // and comes back: the changes in between it was never promised.
  std::string next;  // what the next notify makes the script send
  make(
      [&](drez_client_host* h, void*, int kind) -> const char* {
        if (kind == CB_NOTIFY6) send(h, next.c_str());
        return nullptr;
      },
      nullptr,
      [](drez_client_host* h) {
        send(h, "IU 11");
        detach(h);
      });
  auto sendNext = [&](const char* command) {
    next = command;
    host.notify(script("s1"), CB_NOTIFY6, 0);
  };
  sendNext("IP 11 3 3");
  host.setSlot("RIR Tally Infodriver", 3, "9");
  sendNext("IR 11 1 6");
  EXPECT_THAT(host.deliveredStateBreaches(), ::testing::IsEmpty());
  host.setSlot("RIR Tally Infodriver", 3, "8");
  sendNext("IU 11");
  host.setSlot("RIR Tally Infodriver", 3, "7");
  sendNext("IR 11 1 6");
  EXPECT_THAT(host.deliveredStateBreaches(), ::testing::IsEmpty());
  // Registered and told, then changed behind the host's back: a breach.
  host.setSlot("RIR Tally Infodriver", 3, "6");
  studio.setSlot("RIR Tally Infodriver", 3, "5");
  ASSERT_EQ(host.deliveredStateBreaches().size(), 1u);
  EXPECT_EQ(host.deliveredStateBreaches()[0].told.text, "6");
  EXPECT_EQ(host.deliveredStateBreaches()[0].text, "5");
}

TEST_F(SimulatedHostTest, ReportsReplyMistakesWithTheCallThatMadeThem) {
  make([](drez_client_host* h, void*, int kind) -> const char* {
    if (kind == CB_EVENT_ID) {
      const intptr_t reply = send(h, "SD 'RIR SDI Router'");
      h->command(reinterpret_cast<const char*>(reply), HOST_CMD_RELEASE);
      h->command(reinterpret_cast<const char*>(reply), HOST_CMD_RELEASE);
      static const char never[] = "x";
      h->command(never, HOST_CMD_RELEASE);
    } else {
      send(h, "SD 'RIR Audio Router'");  // kept
    }
    return nullptr;
  });
  host.fireEvent(script("s1"), 4);
  host.notify(script("s1"), CB_NOTIFY7, 0);
  host.notify(script("s1"), CB_NOTIFY7, 0);
  EXPECT_THAT(
      errors(),
      ElementsAre(
          HasSubstr("release: released reply #1 twice"),
          HasSubstr("which this host never handed out"),
          HasSubstr("notify 7 (value 0): the script still held reply #2, the reply to SD 'RIR "
                    "Audio Router', when its call returned"),
          HasSubstr("notify 7 (value 0): the script still held reply #3, the reply to SD 'RIR "
                    "Audio Router'")));
  EXPECT_THAT(errors()[0], HasSubstr("twice"));
}

TEST_F(SimulatedHostTest, ReportsCommandsOutsideTheVocabularyAndAfterDetaching) {
  make(
      [](drez_client_host* h, void*, int) -> const char* {
        send(h, "XX 1");
        send(h, "ET five");
        detach(h);
        send(h, "ET 1");
        return nullptr;
      },
      nullptr, nullptr);
  host.fireEvent(script("s1"), 1);
  EXPECT_THAT(host.takeCommands(), ElementsAre("XX 1", "ET five", "AS", "ET 1"));
  EXPECT_THAT(errors(),
              ElementsAre(HasSubstr("XX 1: unknown command code 'XX'"),
                          HasSubstr("ET five: 'five' is neither an integer nor a quoted text"),
                          HasSubstr("ET 1: a command after AS")));
  // The ignored ET acknowledged nothing.
  host.destroy(script("s1"));
  EXPECT_THAT(warnings(),
              ElementsAre(HasSubstr("delete s1: event id 1 was never acknowledged with ET")));
}

TEST_F(SimulatedHostTest, ChecksTheTeardown) {
  make(
      nullptr, [](drez_client_host* h) { send(h, "RR 21 97 97"); }, nullptr);
  host.destroy(script("s1"));
  EXPECT_THAT(
      errors(),
      ElementsAre(
          HasSubstr("delete s1: the script was deleted without sending AS"),
          HasSubstr(
              "delete s1: registration RR 21 97 97 was still open when the script was deleted")));
  EXPECT_TRUE(host.scripts().empty());
}

TEST_F(SimulatedHostTest, ReportsExceptionsAndUnexpectedResults) {
  static const char stray[] = "stray";
  make([](drez_client_host*, void*, int kind) -> const char* {
    if (kind == CB_EVENT_ID) throw std::runtime_error("boom");
    return kind == CB_NOTIFY6 ? stray : nullptr;
  });
  host.fireEvent(script("s1"), 1);
  host.notify(script("s1"), CB_NOTIFY6, 0);
  EXPECT_THAT(errors(),
              ElementsAre(HasSubstr("event id 1: an exception escaped the script: boom"),
                          HasSubstr("notify 6 (value 0): the script returned a non-null result")));
}

TEST_F(SimulatedHostTest, HandsARequestsReplyBackForRelease) {
  static char reply[] = "myParam=1";
  FakeScript* fake = make([](drez_client_host*, void*, int kind) -> const char* {
    return kind == CB_HOST_REQUEST ? reply : nullptr;
  });
  EXPECT_EQ(host.request(script("s1"), "return=all"), std::optional<std::string>("myParam=1"));
  EXPECT_THAT(fake->kinds, ElementsAre(CB_HOST_REQUEST, CB_RELEASE_REPLY));
}

TEST_F(SimulatedHostTest, ReportsAnExportThatCreatesNothing) {
  EXPECT_EQ(
      host.create(
          "none", [](drez_client_host*, const char*) -> drez_client_callback* { return nullptr; },
          ""),
      nullptr);
  EXPECT_EQ(host.create(
                "thrown",
                [](drez_client_host*, const char*) -> drez_client_callback* {
                  throw std::runtime_error("no start");
                },
                ""),
            nullptr);
  EXPECT_THAT(
      errors(),
      ElementsAre(
          HasSubstr("create none: load_drez_client_script(host, \"\"): the export returned null"),
          HasSubstr("an exception escaped the script: no start")));
  EXPECT_TRUE(host.scripts().empty());
}

}  // namespace
