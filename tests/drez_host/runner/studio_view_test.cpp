// The studio drawn as text: lamps, panels, devices and scripts.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "runner/studio_view.h"
#include "scenario/installation_file.h"
#include "simulator/installation.h"

namespace {

using ::testing::HasSubstr;
using namespace drezhost;

TEST(StudioView, DrawsLampsAsARowUnderTheirNumbers) {
  EXPECT_EQ(lamp(0), "[ ]");
  EXPECT_EQ(lamp(1), "[*]");
  EXPECT_EQ(lamp(7), "[7]");
  EXPECT_EQ(lamp(200), "[#]");
  Device lights;
  lights.kind = DeviceKind::Outputs;
  lights.outputs[101] = 1;
  lights.outputs[102] = 3;
  DeviceName name;
  name.offset = 100;
  name.lamps = 3;
  EXPECT_EQ(lampRows(lights, name), "     100 101 102\n     [ ] [*] [3]\n");
  name.offset = 998;
  EXPECT_EQ(lampRows(lights, name), "      998  999 1000\n      [ ]  [ ]  [ ]\n");
}

TEST(StudioView, ShowsLightsPanelsDevicesAndScripts) {
  Installation studio = studioA();
  studio.loadPanel("1", "p1.drez_ui");
  studio.panel("1")->control("StA_Floor")->setProperty("statesheet", "QZ_Studio_TX");
  Script script;
  script.name = "s1";
  script.registrations.add({DeviceKind::Infodriver, 11, 1, 6});
  const std::string view = renderStudio(studio, {&script});
  EXPECT_THAT(view, HasSubstr("Studio A Blue Lights (device 31, outputs 100 to 109)\n"));
  EXPECT_THAT(view, HasSubstr("panel 1 (p1.drez_ui)\n"));
  EXPECT_THAT(view, HasSubstr("StA_Floor  statesheet=QZ_Studio_TX\n"));
  EXPECT_THAT(view, HasSubstr("1: \"0\"  2: \"\"  3: \"0\""));
  EXPECT_THAT(view, HasSubstr("destination 97 <- source 1 \"CAM 1\""));
  EXPECT_THAT(view, HasSubstr("script s1: registered IR 11 1 6\n"));
  EXPECT_LT(view.find("Blue Lights"), view.find("panel 1"));
}

}  // namespace
