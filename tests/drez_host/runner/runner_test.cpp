// Running scenario steps against the Vantrel panel.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "drez_export.h"
#include "runner/runner.h"
#include "scenario/data_files.h"
#include "scenario/installation_file.h"
#include "scenario/parser.h"
#include "simulator/trace.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace drezhost;

std::vector<Step> parse(const std::string& text) {
  std::istringstream in(text);
  return parseScenario(in, "test.scn");
}

class ScenarioRunnerTest : public ::testing::Test {
 protected:
  Verdict run(const std::string& text) {
    for (const Step& step : parse(text)) runner.run(step);
    return runner.finish();
  }

  std::ostringstream out;
  ScenarioRunner runner{load_drez_client_script,
                        [this](const OutputLine& line) { printLine(out, line); }};
};

TEST_F(ScenarioRunnerTest, PassesWhenEveryExpectationHolds) {
  EXPECT_EQ(run("create\n"
                "set 'RIR Tally Infodriver' 1 2\n"
                "expect lamps 'Studio A Blue Lights' 0 1 0 0 0 1 1 1 1 1\n"
                "expect output 'Studio A Blue Lights' 105 1\n"
                "expect property StA_Floor statesheet QZ_Studio_TX\n"
                "expect sent TP 'statesheet=QZ_Studio_TX' '1' 'StC_News'\n"
                "request return=myParam\n"
                "expect reply myParam=\n"
                "delete\n"
                "expect commands\n  IU 11\n  RU 21\n  RU 22\n  AS\nend\n"),
            Verdict::Passed)
      << out.str();
  EXPECT_THAT(out.str(), HasSubstr("==== PASSED: 4 actions, 6 expectations, 0 not met"));
}

TEST_F(ScenarioRunnerTest, ReportsAFailedExpectationWithWhatWasExpectedAndWhatHappened) {
  EXPECT_EQ(run("create\n"
                "event 4\n"
                "expect commands\n  ET 5\nend\n"
                "expect output 'Studio A Blue Lights' 101 1\n"),
            Verdict::Failed);
  EXPECT_THAT(runner.failures(),
              ElementsAre("test.scn:3: expect commands",
                          "test.scn:6: expect output 'Studio A Blue Lights' 101 1"));
  EXPECT_THAT(
      out.str(),
      HasSubstr(
          "test.scn:3: expectation failed: expect commands\n  expected: 1 command\n    ET 5\n"));
  EXPECT_THAT(out.str(),
              HasSubstr("  actual:   1 command\n    ET 4\n  first difference: command 1"));
  EXPECT_THAT(
      out.str(),
      HasSubstr("test.scn:6: expectation failed: expect output 'Studio A Blue Lights' 101 1\n"
                "  expected: 1\n  actual:   0\n"));
  EXPECT_THAT(out.str(), HasSubstr("==== FAILED"));
}

TEST_F(ScenarioRunnerTest, StopsAtWhatTheStudioDoesNotHave) {
  for (const char* line :
       {"set 'RIR Video Router' 1 2", "expect property StB_Floor text x", "event 1",
        "delete nobody", "expect lamps 'RIR SDI Router' 1", "set 'RIR Tally Infodriver' 9 1"}) {
    EXPECT_THROW(runner.run(parse(line)[0]), ScenarioError) << line;
  }
  runner.run(parse("create")[0]);
  try {
    runner.run(parse("\ncontrol Nope value=1")[0]);
    FAIL();
  } catch (const ScenarioError& error) {
    EXPECT_STREQ(error.what(), "test.scn:2: panel '1' has no control 'Nope'");
  }
  EXPECT_THROW(runner.run(parse("installation empty")[0]), ScenarioError);
  EXPECT_THROW(runner.run(parse("create s1")[0]), ScenarioError);
}

TEST_F(ScenarioRunnerTest, ComparesTheCommandsOfOneScriptWithFrom) {
  EXPECT_EQ(run("create\ncreate s2\n"
                "route 'RIR SDI Router' 97 3\n"
                "expect commands from s2\n  TP 'text=3' '1' 'vls_id'\n  TP 'text=CAM 3' '1' "
                "'vls_name'\nend\n"
                "event 5 to s2\n"
                "expect no commands from s1\n"
                "expect commands from s1\n  ET 5\nend\n"),
            Verdict::Failed);
  EXPECT_THAT(runner.failures(), ElementsAre("test.scn:10: expect commands from s1"));
  EXPECT_THAT(out.str(), HasSubstr("  expected: 1 command\n    ET 5\n  actual:   0 commands\n    "
                                   "(no commands)\n  first difference: command 1"));
  // A script never created is a mistake of the scenario, not of the panel.
  EXPECT_THROW(runner.run(parse("expect no commands from s3")[0]), ScenarioError);
}

TEST_F(ScenarioRunnerTest, KeepsStatesheetColoursFromTheInstallationOn) {
  Installation studio = studioA();
  studio.setStatesheetColour("QZ_Studio_TX", "red");
  RunOptions options;
  options.installation = std::make_shared<const Installation>(studio);
  ScenarioRunner coloured(load_drez_client_script, nullptr, options);
  for (const Step& step : parse("statesheet QZ_Studio_OFF #777\ninstallation empty\n")) {
    coloured.run(step);
  }
  EXPECT_THAT(coloured.statesheetColours(),
              ElementsAre(std::pair<const std::string, std::string>("QZ_Studio_OFF", "#777"),
                          std::pair<const std::string, std::string>("QZ_Studio_TX", "red")));
}

// A run that keeps no command texts still passes what does not read them;
// a step that reads them is refused, never passed or failed on nothing.
TEST_F(ScenarioRunnerTest, KeepsNoCommandTextsWhenAskedAndRefusesToCheckThem) {
  RunOptions options;
  options.keepCommands = false;
  std::ostringstream lines;
  ScenarioRunner counting(
      load_drez_client_script, [&lines](const OutputLine& line) { printLine(lines, line); },
      options);
  for (const Step& step : parse("create\nset 'RIR Tally Infodriver' 1 2\n"
                                "expect output 'Studio A Blue Lights' 105 1\n")) {
    counting.run(step);
  }
  for (const char* reads : {"expect sent GS 31 105 1 0", "expect no commands",
                            "expect commands from s1\n  GS 31 105 1 0\nend"}) {
    try {
      counting.run(parse(reads)[0]);
      ADD_FAILURE() << reads;
    } catch (const ScenarioError& error) {
      EXPECT_THAT(error.what(), HasSubstr("test.scn:1: this run keeps no command texts")) << reads;
    }
  }
  EXPECT_EQ(counting.finish(), Verdict::Passed) << lines.str();
}

TEST_F(ScenarioRunnerTest, FailsWhenATriggerNeverFired) {
  EXPECT_EQ(run("on GS 31 999 1 0\n  set 'RIR Tally Infodriver' 1 1\nend\ncreate\n"),
            Verdict::Failed);
  EXPECT_THAT(out.str(), HasSubstr("a trigger never fired: no script sent GS 31 999 1 0"));
}

TEST_F(ScenarioRunnerTest, ShowsTheStudioWhenAsked) {
  EXPECT_EQ(run("create\nshow\nsay Hello\n"), Verdict::Passed);
  EXPECT_THAT(out.str(), HasSubstr("  ---- studio ----\n  Studio A Blue Lights"));
  EXPECT_THAT(out.str(), HasSubstr("\n==== Hello\n"));
}

TEST(Demo, IsAScenarioThatPasses) {
  std::ostringstream out;
  ScenarioRunner runner(load_drez_client_script,
                        [&out](const OutputLine& line) { printLine(out, line); });
  std::istringstream demo(dataFileText("demo.scn"));
  for (const Step& step : parseScenario(demo, "demo")) runner.run(step);
  EXPECT_EQ(runner.finish(), Verdict::Passed) << out.str();
}

}  // namespace
