#include <new>

#include "Vantrel.h"
#include "vantrel_test.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(VantrelTest, StartupAndTeardownTraces) {
  panel.reset(load_drez_client_script(&host, "panels/studio"));
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(host.takeCommands(), startupCommands());
  EXPECT_EQ(host.repliesHandedOut(), 4u);
  EXPECT_EQ(host.repliesReleased(), 4u);
  panel.reset();
  EXPECT_THAT(host.takeCommands(), ElementsAre("IU 3", "RU 7", "RU 8", "AS"));
}

TEST_F(VantrelTest, HostThatAnswersNoLookupGetsDeviceZero) {
  replyWith({});
  panel.reset(load_drez_client_script(&host, ""));
  EXPECT_THAT(
      host.takeCommands(),
      ElementsAre("PS '1' 'p1.drez_ui'", "SD 'RIR Tally Infodriver'", "IR 0 1 6",
                  "SD 'RIR SDI Router'", "RR 0 97 97", "SD 'RIR Audio Router'", "RR 0 62 62",
                  "SD 'Studio A Blue Lights'", "RP 0 97 97", "RP 0 62 62", "IP 0 1 6"));
  // Every device is 0: a tally slot still reaches the lights, at offset 0.
  deliver(panel.get(), 0, 1, 0, "2");
  const std::vector<std::string> sent = host.takeCommands();
  ASSERT_EQ(sent.size(), 8u);
  EXPECT_EQ(sent[0], "GS 0 1 1 0");
  panel.reset();
  EXPECT_THAT(host.takeCommands(), ElementsAre("IU 0", "RU 0", "RU 0", "AS"));
}

TEST_F(VantrelTest, PollAnswersDeliveredInsideThePollFindEveryDevice) {
  // A host that answers each poll from inside the poll command, while the
  // constructor still runs: the script's address is known only because the
  // object is built in storage this test owns.
  alignas(Vantrel) unsigned char storage[sizeof(Vantrel)];
  drez_client_callback* script = reinterpret_cast<drez_client_callback*>(storage);
  host.setExecuteHook([&](const std::string& command) {
    if (command == "RP 7 97 97") deliver(script, kSdi, 97, 12, "CAM 1");
    if (command == "RP 8 62 62") deliver(script, kAudio, 62, 3, "MIC 3");
    if (command == "IP 3 1 6") {
      const char* values[] = {"2", "0", "0", "1", "1", "1"};
      for (int i = 0; i < 6; ++i) deliver(script, kTally, i + 1, 0, values[i]);
    }
  });
  Vantrel* vantrel = new (storage) Vantrel(&host, "");
  host.setExecuteHook(nullptr);

  std::vector<std::string> expected = kStartupLookups;
  expected.push_back(kStartupPolls[0]);
  expected[0] = "PS '1' 'p1.drez_ui'";
  for (const char* command :
       {"TP 'text=12' '1' 'vls_id'", "TP 'text=CAM 1' '1' 'vls_name'", "RP 8 62 62",
        "TP 'text=3' '1' 'als_id'", "TP 'text=MIC 3' '1' 'als_name'", "IP 3 1 6"}) {
    expected.push_back(command);
  }
  for (int output : {1, 2, 3, 4, 6, 7, 8, 9})
    expected.push_back(gs(output, output == 1 || output > 5));
  for (const std::string& command :
       {sheet("StC_Floor", "QZ_Studio_OFF"), sheet("StC_News", "QZ_Studio_OFF"), gs(0, 0), gs(5, 1),
        sheet("StA_Floor", "QZ_Studio_TX"), sheet("StC_Floor", "QZ_Studio_TX"),
        sheet("StC_News", "QZ_Studio_TX")}) {
    expected.push_back(command);
  }
  EXPECT_THAT(host.takeCommands(), ::testing::ElementsAreArray(expected));
  vantrel->~Vantrel();
  EXPECT_THAT(host.takeCommands(), ElementsAre("IU 3", "RU 7", "RU 8", "AS"));
}

TEST(VantrelWithoutHost, IsBuiltAndDeletedSilently) {
  drez_client_callback* panel = load_drez_client_script(nullptr, "panels");
  ASSERT_NE(panel, nullptr);
  drezhost::DeviceUpdateRecord record(0, 1, 0, "2");
  EXPECT_EQ(panel->callback(record.get(), CB_DEVICE_UPDATE), nullptr);
  EXPECT_EQ(panel->callback(reinterpret_cast<void*>(5), CB_EVENT_ID), nullptr);
  drez_delete_script(panel);
}

}  // namespace
