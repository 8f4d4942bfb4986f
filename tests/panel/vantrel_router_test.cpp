#include "vantrel_test.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class VantrelRouterTest : public VantrelTest {
 protected:
  std::vector<std::string> route(int device, int destination, int source, const char* name) {
    deliver(panel.get(), device, destination, source, name);
    return host.takeCommands();
  }
};

TEST_F(VantrelRouterTest, ReadoutsShowSourceNumberThenName) {
  start();
  EXPECT_THAT(route(kSdi, 97, 12, "CAM 1"),
              ElementsAre("TP 'text=12' '1' 'vls_id'", "TP 'text=CAM 1' '1' 'vls_name'"));
  EXPECT_THAT(route(kAudio, 62, -4, ""),
              ElementsAre("TP 'text=-4' '1' 'als_id'", "TP 'text=' '1' 'als_name'"));
  EXPECT_THAT(route(kAudio, 62, -4, ""),
              ElementsAre("TP 'text=-4' '1' 'als_id'", "TP 'text=' '1' 'als_name'"))
      << "a repeated routing is written again";
  EXPECT_THAT(route(kSdi, 62, 1, "x"), IsEmpty());
  EXPECT_THAT(route(kAudio, 97, 1, "x"), IsEmpty());
  EXPECT_THAT(route(kSdi, 98, 1, "x"), IsEmpty());
}

TEST_F(VantrelRouterTest, SharedDeviceNumberStillSeparatesTheDestinations) {
  replyWith({{"SD 'RIR Tally Infodriver'", "3 0"},
             {"SD 'RIR SDI Router'", "7 0"},
             {"SD 'RIR Audio Router'", "7 0"},
             {"SD 'Studio A Blue Lights'", "12 100"}});
  start();
  EXPECT_THAT(route(7, 97, 5, "VT 5"),
              ElementsAre("TP 'text=5' '1' 'vls_id'", "TP 'text=VT 5' '1' 'vls_name'"));
  EXPECT_THAT(route(7, 62, 6, "MIC 6"),
              ElementsAre("TP 'text=6' '1' 'als_id'", "TP 'text=MIC 6' '1' 'als_name'"));
}

TEST_F(VantrelRouterTest, RouterDestinationWinsOverTallyOnTheSameDevice) {
  // With no lookups answered every device is 0: destination 97 is a route,
  // slot 1 is still the studio state.
  replyWith({});
  start();
  EXPECT_THAT(route(0, 97, 2, "SRC"),
              ElementsAre("TP 'text=2' '1' 'vls_id'", "TP 'text=SRC' '1' 'vls_name'"));
  EXPECT_EQ(route(0, 1, 0, "1").size(), 8u);
}

}  // namespace
