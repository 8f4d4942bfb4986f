// The panel fuzzer's parts that need no libFuzzer, with the transmission
// suite's alarm panel linked in (the correct one, or a twin that keeps a
// reply, whose runs end in findings): the input's encoder and decoder are one
// pair, moves can be cut out of an input, and a played input and the scenario
// it writes give drez-host's runner the very same trace.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "drez_export.h"
#include "fuzz_input.h"
#include "fuzz_run.h"
#include "fuzz_setup.h"
#include "fuzz_supervisor.h"
#include "runner/runner.h"
#include "scenario/parser.h"
#include "scenario/writer.h"

namespace drezfuzz {
namespace {

using drezhost::Step;

FuzzSetup& suite() {
  static FuzzSetup setup(&load_drez_client_script, DREZ_TEST_SUITE);
  return setup;
}

std::vector<Step> parsed(const std::string& text) {
  std::istringstream in(text);
  return drezhost::parseScenario(in, "test");
}

std::vector<std::string> written(const Program& program) {
  std::vector<std::string> lines;
  for (const Move& move : program.moves) {
    lines.push_back(drezhost::writeStep(move.step).value_or("(not writable)"));
  }
  return lines;
}

Program decoded(const std::string& input) {
  return decodeInput(reinterpret_cast<const uint8_t*>(input.data()), input.size(),
                     suite().tables());
}

std::string randomInput(std::mt19937& random) {
  std::string input(random() % 160, '\0');
  for (char& c : input) c = static_cast<char>(random() % 256);
  return input;
}

TEST(FuzzInput, TheSetupFindsTheSuiteAndWhatThePanelOffers) {
  const FuzzTables& tables = suite().tables();
  ASSERT_EQ(tables.infodrivers.size(), 1u);
  EXPECT_EQ(tables.infodrivers[0].name, "TX Alarms");
  EXPECT_EQ(tables.infodrivers[0].size, 6);
  ASSERT_EQ(tables.routers.size(), 1u);
  EXPECT_EQ(tables.routers[0].size, 64);
  ASSERT_EQ(tables.panels.size(), 1u);
  EXPECT_EQ(tables.panels[0].file, "tx_alarms.drez_ui");
  for (const char* control : {"silence", "caption", "alm_video", "AckAll", "ActionAll"}) {
    EXPECT_NE(
        std::find(tables.panels[0].controls.begin(), tables.panels[0].controls.end(), control),
        tables.panels[0].controls.end())
        << control;
  }
  // From the panel's answer to "_commands".
  for (const char* request : {"silence=1", "return=feed", "return=silenced"}) {
    EXPECT_NE(std::find(tables.requests.begin(), tables.requests.end(), request),
              tables.requests.end())
        << request;
  }
  EXPECT_NE(std::find(tables.triggerTexts.begin(), tables.triggerTexts.end(), "RP 62 41 41"),
            tables.triggerTexts.end());
}

// Each row: scenario lines after "create", and the moves the input keeps.
struct RoundTrip {
  std::string scenario;
  std::vector<std::string> moves;
};

TEST(FuzzInput, EncodedScenariosDecodeToTheSameSteps) {
  const std::string longText(300, 'z');
  const std::vector<RoundTrip> rows = {
      {"set 'TX Alarms' 2 1\nset 'TX Alarms' 6 ''",
       {"set 'TX Alarms' 2 1", "set 'TX Alarms' 6 ''"}},
      {"route 'TX Router' 41 9\nroute 'TX Router' 64 -7 'Backup feed'",
       {"route 'TX Router' 41 9", "route 'TX Router' 64 -7 'Backup feed'"}},
      {"request return=feed\nrequest ''\nrequest " + longText,
       {"request return=feed", "request ''", "request " + longText}},
      {"event 7\nevent 300\nevent -2147483648", {"event 7", "event 300", "event -2147483648"}},
      {"control silence pressed\ncontrol caption 'value=a b'\ncontrol AckAll pressed panel 1",
       {"control silence pressed", "control caption 'value=a b'", "control AckAll pressed"}},
      {"control brand_new ''", {"control brand_new ''"}},
      // A made-up control's id is made of what ids are made of.
      {"control 'odd id' x\nevent 2", {"event 2"}},
      {"notify 7 -5\nnotify 6 0", {"notify 7 -5", "notify 6 0"}},
      {"on GS 63 8 1 0\n  set 'TX Alarms' 1 0\nend",
       {"on GS 63 8 1 0\n  set 'TX Alarms' 1 0\nend"}},
      // What no input can say here: a device, slot or panel the suite lacks.
      {"set 'TX Alarms' 7 1\nroute 'TX Router' 65 1\ncontrol silence pressed panel 2\nevent 1",
       {"event 1"}},
  };
  for (const RoundTrip& row : rows) {
    SCOPED_TRACE(row.scenario);
    const std::string text = "installation empty\nhost polls queued\ncreate path 'p q'\n" +
                             row.scenario + "\ndelete\nevent 99\n";
    const Program program = programOf(parsed(text));
    const Program back = decoded(encodeInput(program, suite().tables()));
    EXPECT_EQ(back.polls, drezhost::PollDelivery::Queued);
    EXPECT_EQ(back.path, "p q");
    EXPECT_EQ(written(back), row.moves);
  }
}

TEST(FuzzInput, EveryDecodedStepFitsAScenarioLine) {
  std::mt19937 random(7);
  for (int i = 0; i < 2000; ++i) {
    for (const Move& move : decoded(randomInput(random)).moves) {
      // A change from inside a command is left out, when played, where no
      // line can hold the command's text.
      if (std::holds_alternative<drezhost::steps::On>(move.step)) continue;
      EXPECT_TRUE(drezhost::writeStep(move.step)) << i;
    }
  }
  EXPECT_EQ(writableText(std::string("a\nb\rc\0d", 7)), "a b c");
  EXPECT_EQ(controlId("alm_2 'x'.y-z,\xC7"), "alm_2x.y-z");
  EXPECT_EQ(buttonCommand("alarm=a' b=c"), "alarm=abc");
  EXPECT_EQ(buttonCommand("pressed"), "pressed");
  EXPECT_EQ(pathText("C:\\Panels\\Players' lounge"), "C:\\Panels\\Players lounge");
  EXPECT_EQ(writableText("x' \" y\" "), "x' ' y' ");
}

TEST(FuzzInput, MovesCutOutOfAnInputLeaveTheOthersAsTheyWere) {
  std::mt19937 random(11);
  for (int i = 0; i < 500; ++i) {
    const std::string input = randomInput(random);
    const auto spans = moveSpans(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    ASSERT_FALSE(spans.empty());
    std::size_t end = 0;
    for (const auto& span : spans) {
      EXPECT_EQ(span.first, end);
      end = span.second;
    }
    EXPECT_EQ(end, input.size());
    // Without every other move, the odd ones decode alone.
    std::string odd = input.substr(0, spans[0].second);
    std::string even = odd;
    for (std::size_t move = 1; move < spans.size(); ++move) {
      (move % 2 ? odd : even) +=
          input.substr(spans[move].first, spans[move].second - spans[move].first);
    }
    std::vector<std::string> together;
    for (const std::string& part : {odd, even}) {
      for (const std::string& line : written(decoded(part))) together.push_back(line);
    }
    std::vector<std::string> whole = written(decoded(input));
    std::sort(whole.begin(), whole.end());
    std::sort(together.begin(), together.end());
    EXPECT_EQ(together, whole) << i;
  }
}

// The trace lines of the host, without the runner's own.
std::vector<std::string> hostLines(const std::vector<std::string>& lines) {
  std::vector<std::string> kept;
  for (const std::string& line : lines) {
    const std::string start = line.substr(
        0, line.find_first_not_of(' ') == std::string::npos ? 0 : line.find_first_not_of(' '));
    const std::string rest = line.substr(start.size());
    if (rest.rfind(">> ", 0) == 0 || rest.rfind("!! ", 0) == 0 || rest.rfind("!  ", 0) == 0) {
      continue;
    }
    kept.push_back(line);
  }
  return kept;
}

TEST(FuzzRun, APlayedInputAndItsScenarioGiveTheRunnerTheSameTrace) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("panel_fuzzer_test_" + std::to_string(getpid()));
  std::mt19937 random(23);
  int findings = 0;
  for (int i = 0; i < 300; ++i) {
    SCOPED_TRACE(i);
    const Program program = decoded(randomInput(random));
    std::vector<std::string> played;
    const std::optional<Finding> finding =
        play(suite(), program, file.string(),
             [&](const std::string& line, drezhost::TraceLineKind) { played.push_back(line); });
    findings += finding ? 1 : 0;

    std::vector<std::string> replayed;
    drezhost::RunOptions options;
    options.showTrace = false;
    options.keepActionTrace = false;
    options.traceSink = [&](const std::string& line) { replayed.push_back(line); };
    drezhost::ScenarioRunner runner(&load_drez_client_script, nullptr, options);
    std::ifstream scenario(file);
    for (const Step& step : drezhost::parseScenario(scenario, file.string())) runner.run(step);
    const drezhost::Verdict verdict = runner.finish();
    EXPECT_EQ(hostLines(replayed), played);
    EXPECT_EQ(verdict == drezhost::Verdict::Failed, finding.has_value());
    if (finding) {
      std::size_t more = 0;
      EXPECT_EQ(runner.validator().unexpectedMessages(&more).front(), finding->message);
    }
  }
  std::filesystem::remove(file);
  // The twin that keeps a reply is caught in some runs; the correct panel
  // in none.
  EXPECT_EQ(findings > 0, DREZ_TEST_FAULTY != 0) << findings;
}

TEST(FuzzRun, AFindingsRecordReadsBackAsTheFinding) {
  const Finding finding{"a registration left open", "#9 delete s1: registration RR 1 2 3 ..."};
  const std::optional<Finding> back = readFindingRecord(findingRecord(finding));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->kind, finding.kind);
  EXPECT_EQ(back->message, finding.message);
  EXPECT_FALSE(readFindingRecord(""));
  EXPECT_FALSE(readFindingRecord("\nno kind\n"));
}

TEST(FuzzRun, TheHostsMessagesAreNamedByTheirBreach) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"#73 request \"return=feed\": the script still held reply #10, the reply to TG '1' 'feed' "
       "'text', when its call returned",
       "a reply kept"},
      {"#76 release: released reply #10 twice", "a reply released twice"},
      {"#94 IU 61: a command after AS: the script had already detached; ignored",
       "a command after teardown"},
      {"#92 delete s1: registration RR 62 41 41 was still open when the script was deleted",
       "a registration left open"},
      {"#22 TP 'text=Studio A' '1' 'feed: a text operand has no closing quote",
       "a malformed command"},
      {"#3 XX 1: unknown command code 'XX'", "a malformed command"},
      {"#90 event id 7: the script's handler failed and the event was lost: drez_script_helper: "
       "callback of kind 4 failed (x); the event was dropped",
       "an exception the framework caught"},
      {"#1 create s1: load_drez_client_script(host, \"\"): the export returned null",
       "an export that gave no new script"},
      {"#5 delete s1: the script was deleted without sending AS", "a teardown without AS"},
      {"something new", "a broken host rule"},
  };
  for (const auto& [message, kind] : rows) EXPECT_EQ(breachOf(message), kind) << message;
}

TEST(FuzzSupervisor, ARunsOutputSaysWhatItFound) {
  const struct {
    const char* record;
    const char* output;
    int status;
    const char* kind;
    const char* summary;
  } rows[] = {
      {"a reply kept\n#7 request: held\n", "==1== ERROR: libFuzzer: deadly signal\n", 1,
       "a reply kept", "#7 request: held"},
      // A record cut short is none.
      {"a reply kept\n#7 req", "==1== ERROR: libFuzzer: deadly signal\n", 1, "a deadly signal",
       "ERROR: libFuzzer: deadly signal"},
      {"",
       "==9==ERROR: AddressSanitizer: stack-buffer-overflow on address 0x7f\n"
       "    #0 0x1c8209 in __asan_memcpy (/f+0x1c8209)\n"
       "    #1 0x1c9000 in Panel::showCaption(drez_string const&) /p/panel.cpp:124:3\n"
       "SUMMARY: AddressSanitizer: stack-buffer-overflow (/f+0x1) in __asan_memcpy\n",
       1, "AddressSanitizer: stack-buffer-overflow",
       "stack-buffer-overflow in Panel::showCaption(drez_string const&) /p/panel.cpp:124:3"},
      {"",
       "==9==ERROR: AddressSanitizer: attempting double-free on 0x6 in thread T0:\n"
       "    #0 0x1 in __interceptor_free (/f+0x1)\n    #1 0x2 in Panel::~Panel() "
       "/p/panel.cpp:63:3\n"
       "SUMMARY: AddressSanitizer: double-free (/f+0x1) in __interceptor_free\n",
       1, "AddressSanitizer: double-free", "double-free in Panel::~Panel() /p/panel.cpp:63:3"},
      {"",
       "==9==ERROR: LeakSanitizer: detected memory leaks\n\nDirect leak of 9 byte(s) in 1 "
       "object(s) "
       "allocated from:\n    #0 0x1 in malloc (/f+0x1)\n    #1 0x2 in Panel::read() "
       "/p/panel.cpp:9:5\n"
       "SUMMARY: AddressSanitizer: 9 byte(s) leaked in 1 allocation(s).\n",
       1, "a leak",
       "9 byte(s) leaked in 1 allocation(s), allocated in Panel::read() /p/panel.cpp:9:5"},
      {"", "p.cpp:4:7: runtime error: signed integer overflow\n", 1, "undefined behaviour",
       "p.cpp:4:7: runtime error: signed integer overflow"},
      {"", "==9== ERROR: libFuzzer: timeout after 5 seconds\n", 70, "a call that hangs",
       "ERROR: libFuzzer: timeout after 5 seconds"},
      {"", "Killed\n", 137, "exit status 137", ""},
      {"", "Executed x in 1 ms\n", 0, "", ""},
  };
  for (const auto& row : rows) {
    const Outcome outcome = outcomeOf(row.record, row.output, row.status);
    EXPECT_EQ(outcome.kind, row.kind) << row.output;
    EXPECT_EQ(outcome.summary, row.summary) << row.output;
  }
}

}  // namespace
}  // namespace drezfuzz
