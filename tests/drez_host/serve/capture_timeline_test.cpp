// A capture as a timeline: its calls with what the panel sent, the studio
// after each call rebuilt from the capture alone, differences marked on the
// call that holds their line; and the demo, played through the tap, whose
// studio at every call must be the one the scenario run had there.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "capture_reader.h"
#include "drez_export.h"
#include "runner/runner.h"
#include "scenario/data_files.h"
#include "scenario/installation_file.h"
#include "scenario/parser.h"
#include "serve/capture_timeline.h"
#include "serve/state_json.h"
#include "simulator/script_library.h"

namespace {

using namespace drezhost;
using nlohmann::json;
namespace fs = std::filesystem;

// A newsroom, not Studio A: a tally infodriver, a video router, a lamp row.
const char kNewsroom[] =
    "device infodriver 'Newsroom Tally' 101 slots 4\n"
    "device router 'Newsroom Video' 202\n"
    "device outputs 'Desk Lamps' 303 offset 10 lamps 4\n"
    "panelfile desk.drez_ui OnAir Source\n";

const char kHead[] =
    "drez-capture 1\n"
    "0 0 0 begin started=\"20261208-140230\" pid=7 library=\"desk.so\"\n";

// The newsroom panel's start-up, a tally change, a route, a request and its
// release, and the teardown.
const char kSession[] =
    "10 0 1 export path=\"desk\"\n"  // call 1
    "10 1 1 command text=\"PS '1' 'desk.drez_ui'\" result=1\n"
    "10 1 1 command text=\"IR 101 1 4\" result=1\n"
    "10 1 1 command text=\"RR 202 5 5\" result=1\n"
    "11 0 1 end result=script\n"
    "20 0 1 device device=101 index=1 number=0 text=\"2\"\n"  // call 2
    "20 1 1 command text=\"TP 'statesheet=TX' '1' 'OnAir'\" result=1\n"
    "20 1 1 command text=\"GS 303 11 1 0\" result=1\n"
    "21 0 1 end result=null\n"
    "30 0 1 device device=202 index=5 number=7 text=\"CAM 7\"\n"  // call 3
    "30 1 1 command text=\"TP 'text=CAM 7' '1' 'Source'\" result=1\n"
    "30 1 1 command text=\"TP 'text=lost' '1' 'Nowhere'\" result=0\n"
    "31 0 1 end result=null\n"
    "40 0 1 request text=\"return=all\"\n"  // call 4
    "40 0 1 end result=reply 1 \"x=1\"\n"
    "41 0 1 release reply=1\n"  // call 5
    "41 0 1 end result=null\n"
    "50 0 1 delete flags=1\n"  // call 6
    "50 1 1 command text=\"IU 101\" result=1\n"
    "50 1 1 command text=\"AS\" result=1\n"
    "51 0 1 end result=done\n";

Installation newsroom() { return readInstallation(kNewsroom, "newsroom"); }

CaptureTimeline timelineOf(const std::string& entries) {
  return CaptureTimeline(drezcapture::parseCapture(kHead + entries, "t.capture"), newsroom());
}

const json& control(const json& state, const std::string& id) {
  for (const json& panel : state["panels"]) {
    for (const json& each : panel["controls"]) {
      if (each["id"] == id) return each;
    }
  }
  static const json none;
  return none;
}

std::string slot(const json& state, int index) {
  for (const json& each : state["infodrivers"][0]["slots"]) {
    if (each["slot"] == index) return each["text"];
  }
  return "(none)";
}

TEST(CaptureTimeline, ListsEachOutermostCallWithWhatThePanelSent) {
  const CaptureTimeline timeline = timelineOf(kSession);
  const std::vector<TimelineCall>& calls = timeline.calls();
  ASSERT_EQ(calls.size(), 6u);
  const std::vector<std::string> kinds = {"export",  "device",  "device",
                                          "request", "release", "delete"};
  for (std::size_t k = 0; k < calls.size(); ++k) {
    EXPECT_EQ(calls[k].index, k + 1);
    EXPECT_EQ(calls[k].kind, kinds[k]);
  }
  EXPECT_EQ(calls[1].ms, 20u);
  EXPECT_EQ(calls[1].text, "the device update of s1: device 101 index 1: 0 \"2\"");
  const std::vector<TimelineLine> lines = timeline.linesOf(calls[2]);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].text, "TP 'text=lost' '1' 'Nowhere'");
  EXPECT_EQ(lines[1].result, "0");
  EXPECT_EQ(lines[1].depth, 1);
  EXPECT_EQ(timeline.linesOf(calls[4]).size(), 0u);
  EXPECT_EQ(calls[3].result, "reply 1 \"x=1\"");
  EXPECT_EQ(calls[0].firstLine, 3u);
  EXPECT_EQ(calls[0].lastLine, 7u);
}

TEST(CaptureTimeline, RebuildsTheStudioAfterEachCall) {
  const CaptureTimeline timeline = timelineOf(kSession);
  struct Row {
    std::size_t call;
    std::string onAir, source, tally;
    int lamp11;
    std::size_t scripts;
    std::vector<std::string> registrations;
  };
  const std::vector<Row> rows = {
      {1, "", "", "", 0, 1, {"IR 101 1 4", "RR 202 5 5"}},
      {2, "TX", "", "2", 1, 1, {"IR 101 1 4", "RR 202 5 5"}},
      {3, "TX", "CAM 7", "2", 1, 1, {"IR 101 1 4", "RR 202 5 5"}},
      {5, "TX", "CAM 7", "2", 1, 1, {"IR 101 1 4", "RR 202 5 5"}},
      {6, "TX", "CAM 7", "2", 1, 0, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("after call " + std::to_string(row.call));
    const json state = timeline.stateAfter(row.call);
    EXPECT_EQ(state["call"], row.call);
    EXPECT_EQ(control(state, "OnAir")["statesheet"], row.onAir);
    EXPECT_EQ(slot(state, 1), row.tally);
    EXPECT_EQ(state["lights"][0]["lamps"][1]["state"], row.lamp11);
    ASSERT_EQ(state["scripts"].size(), row.scripts);
    if (row.scripts > 0) {
      EXPECT_EQ(state["scripts"][0]["registrations"], json(row.registrations));
    }
    std::string source;
    for (const json& property : control(state, "Source")["properties"]) {
      if (property[0] == "text") source = property[1];
    }
    EXPECT_EQ(source, row.source);
  }
  // The route the update delivered.
  const json routed = timeline.stateAfter(3)["routers"][0]["destinations"];
  ASSERT_FALSE(routed.empty());
  EXPECT_EQ(routed[0], json({{"destination", 5}, {"source", 7}, {"name", "CAM 7"}}));
  // Before the first call: the installation as given.
  EXPECT_TRUE(timeline.stateAfter(0)["panels"].empty());
}

TEST(CaptureTimeline, MarksTheCallThatHoldsADifferencesLine) {
  CaptureTimeline timeline = timelineOf(kSession);
  struct Row {
    std::size_t line;
    std::size_t call;
  };
  for (const Row& row : {Row{3, 1}, Row{7, 1}, Row{8, 2}, Row{13, 3}, Row{23, 6}, Row{999, 6}}) {
    ASSERT_TRUE(timeline.markDifference(row.line, "line " + std::to_string(row.line)));
    EXPECT_EQ(timeline.calls()[row.call - 1].differences.back(),
              "line " + std::to_string(row.line));
  }
  EXPECT_EQ(timeline.differingCalls(), 4u);
  const json shown = timeline.callJson(timeline.calls()[1]);
  EXPECT_EQ(shown["differs"], true);
  EXPECT_EQ(shown["differences"], json({"line 8"}));
  EXPECT_EQ(timeline.callJson(timeline.calls()[3])["differs"], false);
  EXPECT_FALSE(timelineOf("").markDifference(3, "no call"));
}

TEST(CaptureTimeline, LeavesOutTheCallACutCaptureEndsIn) {
  const CaptureTimeline timeline = timelineOf(
      "10 0 1 export path=\"desk\"\n"
      "10 1 1 command text=\"PS '1' 'desk.drez_ui'\" result=1\n"
      "11 0 1 end result=script\n"
      "20 0 1 device device=101 index=1 number=0 text=\"2\"\n"
      "20 1 1 command text=\"TP 'statesheet=TX' '1' 'OnAir'\" result=1\n");
  ASSERT_EQ(timeline.calls().size(), 1u);
  EXPECT_EQ(control(timeline.stateAfter(1), "OnAir")["statesheet"], "");
}

// Checkpoints: the state after any call of a long capture is the one its
// calls make, whichever checkpoint it is rebuilt from.
TEST(CaptureTimeline, RebuildsFromCheckpointsAsFromTheStart) {
  std::string entries =
      "0 0 1 export path=\"desk\"\n0 1 1 command text=\"PS '1' 'desk.drez_ui'\" result=1\n"
      "0 0 1 end result=script\n";
  const std::size_t updates = 3 * CaptureTimeline::kCheckpointEvery + 5;
  for (std::size_t k = 1; k <= updates; ++k) {
    entries += std::to_string(k) + " 0 1 device device=101 index=" + std::to_string(k % 4 + 1) +
               " number=0 text=\"" + std::to_string(k) + "\"\n" + std::to_string(k) +
               " 0 1 end result=null\n";
  }
  const CaptureTimeline timeline = timelineOf(entries);
  ASSERT_EQ(timeline.calls().size(), updates + 1);
  for (std::size_t call : {std::size_t{1}, std::size_t{255}, std::size_t{256}, std::size_t{257},
                           std::size_t{512}, updates + 1}) {
    SCOPED_TRACE("call " + std::to_string(call));
    const json state = timeline.stateAfter(call);
    for (int index = 1; index <= 4; ++index) {
      // The last update of this slot at or before the call.
      std::size_t last = 0;
      for (std::size_t k = 1; k + 1 <= call; ++k) {
        if (k % 4 + 1 == static_cast<std::size_t>(index)) last = k;
      }
      EXPECT_EQ(slot(state, index), last == 0 ? "" : std::to_string(last));
    }
  }
}

// What a scenario run's host shows after each call into a script that no
// other call holds: each call a tap in front of the script records at
// depth 0.
class StudioRecorder : public HostObserver {
 public:
  explicit StudioRecorder(ScenarioRunner& runner) : runner_(runner) {}
  void enteringCall(const HostCall&, const std::string&) override { ++depth_; }
  void leftCall() override {
    if (--depth_ != 0) return;
    // A script being deleted is gone once its deletion returns.
    std::vector<Script*> alive;
    for (Script* script : runner_.host().scripts()) {
      if (!script->deleting) alive.push_back(script);
    }
    states.push_back(studioJson(runner_.installation(), alive, runner_.statesheetColours()));
  }
  void commandSent(const std::string&) override {}
  void updateDelivered(const Device&, int32_t) override {}
  void controlEventSent(const std::string&) override {}
  void triggerFired(const std::string&) override {}
  std::vector<json> states;

 private:
  ScenarioRunner& runner_;
  int depth_ = 0;
};

// What the capture can know of the studio: the panels, the lamps, the
// scripts, and the slots and routes some script is registered for.
json known(json state) {
  std::set<std::pair<int, int>> registered;
  for (const json& script : state["scripts"]) {
    for (const json& text : script["registrations"]) {
      char kind = 0;
      int device = 0, first = 0, last = 0;
      std::sscanf(text.get<std::string>().c_str(), "%cR %d %d %d", &kind, &device, &first, &last);
      for (int index = first; index <= last; ++index) registered.insert({device, index});
    }
  }
  for (const char* kind : {"infodrivers", "routers"}) {
    for (json& device : state[kind]) {
      const int number = device["device"];
      json kept = json::array();
      for (const json& each : device[kind[0] == 'i' ? "slots" : "destinations"]) {
        const int index = each[kind[0] == 'i' ? "slot" : "destination"];
        if (registered.count({number, index}) > 0) kept.push_back(each);
      }
      device = {{"device", number}, {"kept", kept}};
    }
  }
  state.erase("placeholder");
  state.erase("call");
  return state;
}

TEST(DemoCapture, TheStudioAtEveryCallIsTheScenarioRunsAtThatPoint) {
  const fs::path folder = fs::path(DREZ_SERVE_TEST_WORK_DIR) / "demo_capture";
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path tap = folder / fs::path(DREZ_TAP_LIBRARY_PATH).filename();
  fs::copy_file(DREZ_TAP_LIBRARY_PATH, tap);
  fs::copy_file(VANTREL_LIBRARY_PATH, folder / "vantrel.real");
  fs::path ini = tap;
  ini.replace_extension(".tap.ini");
  std::ofstream(ini) << "script=vantrel.real\ncapture=demo.capture\n";

  std::vector<json> states;
  {
    ScriptLibrary library(tap.string());
    const load_drez_client_script_fn entry = library.entry();
    ScenarioRunner runner(
        [entry](drez_client_host* host, const char* path) { return entry(host, path); }, nullptr);
    StudioRecorder recorder(runner);
    runner.host().addObserver(&recorder);
    ScenarioParser parser("demo.scn");
    std::istringstream demo(dataFileText("demo.scn"));
    for (std::string line; std::getline(demo, line);) {
      if (std::optional<Step> step = parser.feed(line)) runner.run(*step);
    }
    EXPECT_EQ(runner.finish(), Verdict::Passed);
    states = recorder.states;
  }
  const drezcapture::Capture capture =
      drezcapture::readCaptureFile((folder / "demo.capture").string());
  const CaptureTimeline timeline(capture, studioA());
  std::size_t compared = 0;
  for (const TimelineCall& call : timeline.calls()) {
    SCOPED_TRACE("call " + std::to_string(call.index) + ": " + call.text);
    ASSERT_LT(compared, states.size());
    EXPECT_EQ(known(timeline.stateAfter(call.index)), known(states[compared]));
    ++compared;
  }
  EXPECT_EQ(compared, states.size());
  EXPECT_GT(compared, 10u);
}

}  // namespace
