#include "vantrel_test.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class VantrelRequestsTest : public VantrelTest {
 protected:
  void SetUp() override {
    VantrelTest::SetUp();
    start();
  }
  std::string ask(const char* text) { return request(panel.get(), text); }
};

TEST_F(VantrelRequestsTest, RequestTable) {
  const struct {
    const char* request;
    const char* reply;  // "(null)": no reply block
  } steps[] = {
      {"return=all", "myParam="},
      {"return=myParam", "myParam="},
      {"myParam=abc", "(null)"},
      {"return=all", "myParam=abc"},
      {"return=myParam", "myParam=abc"},
      {"return.x=myParam", "myParam=abc"},
      {"return=other", "(null)"},
      {"return", "(null)"},
      {"Return=all", "(null)"},
      {"_events", "notify=*"},
      {"_events=x", "notify=*"},
      {"_commands", "myParam=[value]"},
      {"instance=abc", "(null)"},
      {"instance=abc", "(null)"},
      {"return=all", "myParam=abc"},
      {"myParam=%1 %2", "(null)"},
      {"return=myParam", "myParam=%1 %2"},
      {"return=all", "myParam=%1 %2"},
      {"myParam", "(null)"},
      {"return=all", "myParam="},
      {"unknown=1", "(null)"},
      {"", "(null)"},
  };
  for (const auto& step : steps) EXPECT_EQ(ask(step.request), step.reply) << step.request;
  EXPECT_THAT(host.takeCommands(), IsEmpty()) << "requests never send a command";
}

TEST_F(VantrelRequestsTest, NullRequestTextRepliesNothing) {
  EXPECT_EQ(panel->callback(nullptr, CB_HOST_REQUEST), nullptr);
}

TEST_F(VantrelRequestsTest, EveryEventIdIsAcknowledged) {
  for (intptr_t id : {5, 1, 0, -7, 2147483647}) {
    EXPECT_EQ(panel->callback(reinterpret_cast<void*>(id), CB_EVENT_ID), nullptr);
  }
  EXPECT_THAT(host.takeCommands(), ElementsAre("ET 5", "ET 1", "ET 0", "ET -7", "ET 2147483647"));
}

TEST_F(VantrelRequestsTest, ControlEventsAndNotificationsAreIgnored) {
  drezhost::ControlEventRecord ack("AckAll", "press");
  EXPECT_EQ(panel->callback(ack.get(), CB_CONTROL_EVENT), nullptr);
  EXPECT_EQ(panel->callback(reinterpret_cast<void*>(1), CB_NOTIFY6), nullptr);
  EXPECT_EQ(panel->callback(reinterpret_cast<void*>(1), CB_NOTIFY7), nullptr);
  EXPECT_THAT(host.takeCommands(), IsEmpty());
}

}  // namespace
