// Ground of the Vantrel tests: a host that knows the studio's four devices,
// and the panel created through its export, as a host creates it.

#ifndef TESTS_VANTREL_TEST_H_
#define TESTS_VANTREL_TEST_H_

#include <memory>
#include <string>
#include <vector>

#include "script_test.h"

// Device numbers and the lights offset this host reports.
constexpr int kTally = 3;
constexpr int kSdi = 7;
constexpr int kAudio = 8;
constexpr int kLights = 12;
constexpr int kLightsOffset = 100;

// What the panel sends at start-up with the path "panels/studio" on this
// host, up to the polls; the three polls follow.
const std::vector<std::string> kStartupLookups = {"PS '1' 'panels/studio/p1.drez_ui'",
                                                  "SD 'RIR Tally Infodriver'",
                                                  "IR 3 1 6",
                                                  "SD 'RIR SDI Router'",
                                                  "RR 7 97 97",
                                                  "SD 'RIR Audio Router'",
                                                  "RR 8 62 62",
                                                  "SD 'Studio A Blue Lights'"};
const std::vector<std::string> kStartupPolls = {"RP 7 97 97", "RP 8 62 62", "IP 3 1 6"};

inline std::vector<std::string> startupCommands() {
  std::vector<std::string> commands = kStartupLookups;
  commands.insert(commands.end(), kStartupPolls.begin(), kStartupPolls.end());
  return commands;
}

class VantrelTest : public ScriptTest {
 protected:
  void SetUp() override {
    replyWith({{"SD 'RIR Tally Infodriver'", "3 0"},
               {"SD 'RIR SDI Router'", "7 0"},
               {"SD 'RIR Audio Router'", "8 0"},
               {"SD 'Studio A Blue Lights'", "12 100"}});
  }
  void TearDown() override {
    panel.reset();
    ScriptTest::TearDown();
  }

  // Creates the panel and forgets its start-up commands.
  void start() {
    panel.reset(load_drez_client_script(&host, "panels/studio"));
    ASSERT_NE(panel, nullptr);
    host.takeCommands();
  }

  // Delivers a tally slot and returns the commands it caused.
  std::vector<std::string> slot(int index, const std::string& text) {
    deliver(panel.get(), kTally, index, 0, text);
    return host.takeCommands();
  }

  // Delivers slots 1 to 6 (or fewer) in order; returns nothing.
  void slots(const std::vector<std::string>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) slot(static_cast<int>(i) + 1, values[i]);
  }

  static std::string gs(int output, int state) {
    return "GS 12 " + std::to_string(kLightsOffset + output) + " " + std::to_string(state) + " 0";
  }
  static std::string sheet(const std::string& control, const std::string& statesheet) {
    return "TP 'statesheet=" + statesheet + "' '1' '" + control + "'";
  }

  std::unique_ptr<drez_client_callback, drez_script_deleter> panel;
};

#endif  // TESTS_VANTREL_TEST_H_
