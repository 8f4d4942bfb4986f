#include "vantrel_test.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const char* const kSheet[] = {"QZ_Studio_OFF", "QZ_Studio_REH", "QZ_Studio_TX"};

class VantrelTallyTest : public VantrelTest {
 protected:
  void SetUp() override {
    VantrelTest::SetUp();
    start();
  }
};

TEST_F(VantrelTallyTest, LightPatternsWithAndWithoutTheFloorPair) {
  const struct {
    int state;
    int floor0, floor5;
    int group[8];  // outputs 1, 2, 3, 4, 6, 7, 8, 9
  } patterns[] = {
      {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}},
      {1, 1, 0, {1, 1, 1, 1, 0, 0, 0, 0}},
      {2, 0, 1, {1, 0, 0, 0, 1, 1, 1, 1}},
  };
  const int group_outputs[8] = {1, 2, 3, 4, 6, 7, 8, 9};
  for (const auto& p : patterns) {
    for (bool floor_follows : {false, true}) {
      TearDown();
      SetUp();
      if (floor_follows) {
        EXPECT_THAT(slot(4, "1"), IsEmpty()) << "no studio state yet";
      }
      std::vector<std::string> expected;
      if (floor_follows) {
        expected.push_back(gs(0, p.floor0));
        expected.push_back(gs(5, p.floor5));
      }
      for (int i = 0; i < 8; ++i) expected.push_back(gs(group_outputs[i], p.group[i]));
      if (floor_follows) expected.push_back(sheet("StA_Floor", kSheet[p.state]));
      EXPECT_THAT(slot(1, std::to_string(p.state)), ElementsAreArray(expected))
          << "state " << p.state << (floor_follows ? " with" : " without") << " floor pair";
    }
  }
}

TEST_F(VantrelTallyTest, RehearsalToTransmissionWithTheFloorFollowing) {
  slot(4, "1");
  slot(1, "1");
  EXPECT_THAT(slot(1, "2"),
              ElementsAre(gs(0, 0), gs(5, 1), gs(1, 1), gs(2, 0), gs(3, 0), gs(4, 0), gs(6, 1),
                          gs(7, 1), gs(8, 1), gs(9, 1), sheet("StA_Floor", "QZ_Studio_TX")));
}

TEST_F(VantrelTallyTest, StudioStateFollowersAndChangeDetection) {
  slots({"", "", "", "0", "1", "1"});  // StA off, StC_Floor and StC_News follow the studio
  const std::vector<std::string> tx = slot(1, "2");
  ASSERT_EQ(tx.size(), 10u);
  EXPECT_EQ(tx[8], sheet("StC_Floor", "QZ_Studio_TX"));
  EXPECT_EQ(tx[9], sheet("StC_News", "QZ_Studio_TX"));
  EXPECT_THAT(slot(1, "2"), IsEmpty()) << "same value again";
  EXPECT_THAT(slot(1, " 2 "), IsEmpty()) << "same number, other text";
}

TEST_F(VantrelTallyTest, NonStateIsStoredButSendsNothing) {
  slots({"", "", "", "1", "1", "1"});
  EXPECT_THAT(slot(1, "7"), IsEmpty());
  EXPECT_THAT(slot(1, "7"), IsEmpty());
  EXPECT_THAT(slot(1, "-1"), IsEmpty());
  const std::vector<std::string> off = slot(1, "0");
  EXPECT_EQ(off.size(), 13u) << "floor pair, eight outputs, three statesheets";
  EXPECT_EQ(off.front(), gs(0, 0));
  EXPECT_EQ(off.back(), sheet("StC_News", "QZ_Studio_OFF"));
}

TEST_F(VantrelTallyTest, SlotFourFollowModes) {
  EXPECT_THAT(slot(4, "1"), IsEmpty()) << "no studio state yet";
  EXPECT_THAT(slot(4, "0"), ElementsAre(gs(0, 0), gs(5, 0), sheet("StA_Floor", "QZ_Studio_OFF")));
  slot(1, "1");
  EXPECT_THAT(slot(4, "1"), ElementsAre(gs(0, 1), gs(5, 0), sheet("StA_Floor", "QZ_Studio_REH")));
  EXPECT_THAT(slot(4, "1"), ElementsAre(gs(0, 1), gs(5, 0), sheet("StA_Floor", "QZ_Studio_REH")))
      << "no change detection on modes";
  EXPECT_THAT(slot(4, "2"), IsEmpty()) << "no alternate state yet";
  slot(3, "2");
  EXPECT_THAT(slot(4, "2"), ElementsAre(gs(0, 0), gs(5, 1), sheet("StA_Floor", "QZ_Studio_TX")));
  EXPECT_THAT(slot(4, "3"), IsEmpty());
  EXPECT_THAT(slot(1, "2"), ElementsAre(gs(1, 1), gs(2, 0), gs(3, 0), gs(4, 0), gs(6, 1), gs(7, 1),
                                        gs(8, 1), gs(9, 1)))
      << "mode 3 is no mode: no floor pair, no statesheet";
}

TEST_F(VantrelTallyTest, SlotsFiveAndSixFollowModes) {
  slot(1, "1");
  slot(3, "2");
  const struct {
    int slot;
    const char* control;
  } controls[] = {{5, "StC_Floor"}, {6, "StC_News"}};
  for (const auto& c : controls) {
    EXPECT_THAT(slot(c.slot, "0"), ElementsAre(sheet(c.control, "QZ_Studio_OFF")));
    EXPECT_THAT(slot(c.slot, "1"), ElementsAre(sheet(c.control, "QZ_Studio_REH")));
    EXPECT_THAT(slot(c.slot, "2"), ElementsAre(sheet(c.control, "QZ_Studio_TX")));
    EXPECT_THAT(slot(c.slot, "2"), ElementsAre(sheet(c.control, "QZ_Studio_TX")));
    EXPECT_THAT(slot(c.slot, "9"), IsEmpty());
    EXPECT_THAT(slot(c.slot, ""), ElementsAre(sheet(c.control, "QZ_Studio_OFF")))
        << "empty text counts as 0";
  }
}

TEST_F(VantrelTallyTest, AlternateStateByMode) {
  slot(1, "1");
  // Modes 0: StC controls are shown off again; StA_Floor is not touched.
  EXPECT_THAT(slot(3, "2"),
              ElementsAre(sheet("StC_Floor", "QZ_Studio_OFF"), sheet("StC_News", "QZ_Studio_OFF")));
  EXPECT_THAT(slot(3, "2"), IsEmpty()) << "unchanged";
  slots({"1", "", "2", "2", "1", "2"});
  // StC_Floor follows the studio (REH, not the new value), StC_News and the
  // floor pair follow the alternate state.
  EXPECT_THAT(slot(3, "0"),
              ElementsAre(sheet("StC_Floor", "QZ_Studio_REH"), sheet("StC_News", "QZ_Studio_OFF"),
                          gs(0, 0), gs(5, 0), sheet("StA_Floor", "QZ_Studio_OFF")));
  EXPECT_THAT(slot(3, "5"), ElementsAre(sheet("StC_Floor", "QZ_Studio_REH")))
      << "a non-state value reaches only the control that follows the studio";
  EXPECT_THAT(slot(5, "2"), IsEmpty()) << "alternate state 5 is no state";
  EXPECT_THAT(slot(1, "0"), ElementsAre(gs(1, 0), gs(2, 0), gs(3, 0), gs(4, 0), gs(6, 0), gs(7, 0),
                                        gs(8, 0), gs(9, 0)))
      << "the studio group never follows slot 3 and nobody follows the studio now";
}

TEST_F(VantrelTallyTest, IgnoredSlotsAndDevices) {
  for (int index : {0, 2, 7, -1, 97}) EXPECT_THAT(slot(index, "2"), IsEmpty()) << index;
  deliver(panel.get(), 99, 1, 0, "2");
  EXPECT_THAT(host.takeCommands(), IsEmpty()) << "unknown device";
  // Nothing above changed the studio state: 2 is still a change.
  EXPECT_EQ(slot(1, "2").size(), 8u);
}

TEST_F(VantrelTallyTest, StartupPollSequence) {
  const char* values[] = {"2", "0", "0", "1", "2", "1"};
  std::vector<std::string> sent;
  for (int i = 0; i < 6; ++i) {
    for (const std::string& command : slot(i + 1, values[i])) sent.push_back(command);
  }
  EXPECT_THAT(
      sent,
      ElementsAre(gs(1, 1), gs(2, 0), gs(3, 0), gs(4, 0), gs(6, 1), gs(7, 1), gs(8, 1), gs(9, 1),
                  sheet("StC_Floor", "QZ_Studio_OFF"), sheet("StC_News", "QZ_Studio_OFF"), gs(0, 0),
                  gs(5, 1), sheet("StA_Floor", "QZ_Studio_TX"), sheet("StC_Floor", "QZ_Studio_OFF"),
                  sheet("StC_News", "QZ_Studio_TX")));
}

TEST_F(VantrelTallyTest, AbsurdOffsetWrapsInsteadOfOverflowing) {
  panel.reset();
  host.takeCommands();
  replyWith({{"SD 'RIR Tally Infodriver'", "3 0"},
             {"SD 'RIR SDI Router'", "7 0"},
             {"SD 'RIR Audio Router'", "8 0"},
             {"SD 'Studio A Blue Lights'", "12 2147483647"}});
  start();
  const std::vector<std::string> sent = slot(4, "0");
  EXPECT_THAT(sent, ElementsAre("GS 12 2147483647 0 0", "GS 12 -2147483644 0 0",
                                sheet("StA_Floor", "QZ_Studio_OFF")));
}

}  // namespace
