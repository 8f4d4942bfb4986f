#include <string>
#include <vector>

#include "probe_script.h"
#include "script_test.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

class AlarmActionTest : public ScriptTest {
 protected:
  // Three alarm controls whose values read 1, 0 and 7.
  void SetUp() override {
    replyWith({{"XI '1' 'alm_'", "alm_1,alm_2,alm_3"},
               {"TG '1' 'alm_1' 'value'", "value=1"},
               {"TG '1' 'alm_2' 'value'", "value=0"},
               {"TG '1' 'alm_3' 'value'", "value=7"}});
  }
  ProbeScript script{&host, ""};
  DebugCapture debug;  // a mismatched read writes a line
};

TEST_F(AlarmActionTest, AcknowledgeSetsOnlyValuesOutsideTheKeptSet) {
  for (const char* action : {"ack", "4"}) {
    script.alarmAction(action);
    EXPECT_THAT(
        host.takeCommands(),
        ElementsAre("XI '1' 'alm_'", "TP 'alarm=" + std::string(action) + "' '1' 'alm_1'",
                    "TG '1' 'alm_1' 'value'", "TP 'value=4' '1' 'alm_1'",
                    "TP 'alarm=" + std::string(action) + "' '1' 'alm_2'", "TG '1' 'alm_2' 'value'",
                    "TP 'alarm=" + std::string(action) + "' '1' 'alm_3'", "TG '1' 'alm_3' 'value'",
                    "TP 'value=4' '1' 'alm_3'"))
        << action;
  }
  EXPECT_EQ(host.repliesReleased(), 8u);
}

TEST_F(AlarmActionTest, AcknowledgeByCurrentValue) {
  const struct {
    const char* reply;
    bool set;
  } cases[] = {{"value=0", false}, {"value=2", false}, {"value=3", false}, {"value=4", false},
               {"value=5", false}, {"value=1", true},  {"value=-1", true}, {"value=6", true},
               {"value=", false},  {"level=9", false}};
  for (const auto& c : cases) {
    replyWith({{"XI '1' 'alm_'", "alm_9"}, {"TG '1' 'alm_9' 'value'", c.reply}});
    script.alarmAction("ack");
    std::vector<std::string> expected = {"XI '1' 'alm_'", "TP 'alarm=ack' '1' 'alm_9'",
                                         "TG '1' 'alm_9' 'value'"};
    if (c.set) expected.push_back("TP 'value=4' '1' 'alm_9'");
    EXPECT_THAT(host.takeCommands(), ElementsAreArray(expected)) << c.reply;
  }
}

TEST_F(AlarmActionTest, LevelsAreWrittenWithoutReading) {
  const struct {
    const char* action;
    const char* value;  // null: no value command
  } cases[] = {{"2", "2"},
               {"0", "0"},
               {"9", "9"},
               {"x", "0"},
               {"12", nullptr},
               {"ACK", nullptr},
               {"acknowledge", nullptr},
               {"", nullptr}};
  for (const auto& c : cases) {
    script.alarmAction(c.action);
    std::vector<std::string> expected = {"XI '1' 'alm_'"};
    for (const char* id : {"alm_1", "alm_2", "alm_3"}) {
      expected.push_back("TP 'alarm=" + std::string(c.action) + "' '1' '" + id + "'");
      if (c.value) expected.push_back("TP 'value=" + std::string(c.value) + "' '1' '" + id + "'");
    }
    EXPECT_THAT(host.takeCommands(), ElementsAreArray(expected)) << '"' << c.action << '"';
  }
}

TEST_F(AlarmActionTest, NoListReplyTouchesNoControl) {
  replyWith({});
  script.alarmAction("ack");
  EXPECT_THAT(host.commands(), ElementsAre("XI '1' 'alm_'"));
}

TEST_F(AlarmActionTest, PreCheckRoutesActionAllAndAckAll) {
  script.enableAlarms();
  drezhost::ControlEventRecord action("ActionAll", "alarm=2");
  drezhost::ControlEventRecord ack("AckAll", "anything");
  drezhost::ControlEventRecord other("ActionAll", "reset");
  drezhost::ControlEventRecord plain("alm_1", "alarm=2");

  script.callback(action.get(), CB_CONTROL_EVENT);
  EXPECT_EQ(host.takeCommands().size(), 7u) << "list, then mark and set for three controls";
  script.callback(ack.get(), CB_CONTROL_EVENT);
  const std::vector<std::string> acked = host.takeCommands();
  ASSERT_EQ(acked.size(), 9u);
  EXPECT_EQ(acked[1], "TP 'alarm=4' '1' 'alm_1'");
  EXPECT_THAT(script.calls, IsEmpty());

  script.callback(other.get(), CB_CONTROL_EVENT);
  script.callback(plain.get(), CB_CONTROL_EVENT);
  EXPECT_THAT(script.calls, ElementsAre("control ActionAll reset=", "control alm_1 alarm=2"));
  EXPECT_THAT(host.takeCommands(), IsEmpty());
}

}  // namespace
