// The simulated studio: devices, panel files, registrations and the view.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "runner/studio_view.h"
#include "scenario/installation_file.h"
#include "simulator/installation.h"
#include "simulator/installation_learner.h"
#include "simulator/registrations.h"

namespace {

using ::testing::HasSubstr;
using namespace drezhost;

TEST(Installation, StudioAHasWhatVantrelLooksUp) {
  Installation studio = studioA();
  for (const char* name :
       {"RIR Tally Infodriver", "RIR SDI Router", "RIR Audio Router", "Studio A Blue Lights"}) {
    EXPECT_NE(studio.findName(name), nullptr) << name;
  }
  EXPECT_EQ(studio.findName("Studio A Blue Lights")->offset, 100);
  EXPECT_EQ(studio.deviceNamed("RIR Tally Infodriver", DeviceKind::Infodriver).size, 6);
  EXPECT_EQ(studio.deviceNamed("RIR SDI Router", DeviceKind::Router).route(97).name, "CAM 1");
  ASSERT_NE(studio.panelFile("p1.drez_ui"), nullptr);
  EXPECT_THAT(*studio.panelFile("p1.drez_ui"),
              ::testing::IsSupersetOf({"StA_Floor", "StC_Floor", "StC_News", "vls_id", "vls_name",
                                       "als_id", "als_name"}));
}

TEST(Installation, TwoNamesMayShareOneDevice) {
  Installation studio;
  // Each label read between the changes: a label kept from before a
  // change must not be shown after it.
  EXPECT_EQ(studio.label(20), "device 20");
  studio.addDevice("SDI", DeviceKind::Router, 20, 0, 0, 0);
  EXPECT_EQ(studio.label(20), "SDI");
  studio.addDevice("Audio", DeviceKind::Router, 20, 5, 0, 0);
  studio.route("SDI", 62, 3, "CAM 3");
  EXPECT_EQ(studio.deviceNamed("Audio", DeviceKind::Router).route(62).source, 3);
  EXPECT_EQ(studio.label(20), "SDI / Audio");
  EXPECT_EQ(studio.findName("Audio")->offset, 5);
  studio.removeDevice("SDI");
  EXPECT_NE(studio.findDevice(20), nullptr);
  EXPECT_EQ(studio.label(20), "Audio");
  studio.removeDevice("Audio");
  EXPECT_EQ(studio.findDevice(20), nullptr);
  EXPECT_EQ(studio.label(20), "device 20");
  studio.addDevice("Vision", DeviceKind::Router, 20, 0, 0, 0);
  EXPECT_EQ(studio.label(20), "Vision");
  // A copy of the studio labels as the studio does, and apart from it.
  Installation copy = studio;
  copy.addDevice("Spare", DeviceKind::Router, 20, 0, 0, 0);
  EXPECT_EQ(copy.label(20), "Vision / Spare");
  EXPECT_EQ(studio.label(20), "Vision");
}

TEST(Installation, RefusesWhatDoesNotFit) {
  Installation studio = studioA();
  EXPECT_THROW(studio.addDevice("RIR SDI Router", DeviceKind::Router, 99, 0, 0, 0),
               InstallationError);
  try {
    studio.addDevice("Other", DeviceKind::Outputs, 21, 0, 0, 0);
    FAIL() << "a number used by a router became an output device";
  } catch (const InstallationError& error) {
    EXPECT_STREQ(error.what(),
                 "device number 21 is already RIR SDI Router, a router, not an output device");
  }
  EXPECT_THROW(studio.setSlot("RIR Tally Infodriver", 7, "1"), InstallationError);
  EXPECT_THROW(studio.setSlot("RIR SDI Router", 1, "1"), InstallationError);
  EXPECT_THROW(studio.route("RIR SDI Router", 129, 1, ""), InstallationError);
  EXPECT_THROW(studio.route("Nope", 1, 1, ""), InstallationError);
  EXPECT_THROW(studio.removeControl("p1.drez_ui", "nope"), InstallationError);
}

TEST(Installation, LoadsPanelFilesByNameOrLastPathPart) {
  Installation studio = studioA();
  EXPECT_FALSE(studio.loadPanel("1", "other.drez_ui"));
  EXPECT_EQ(studio.panel("1"), nullptr);
  ASSERT_TRUE(studio.loadPanel("1", "panels/studio/p1.drez_ui"));
  Control* control = studio.panel("1")->control("vls_name");
  ASSERT_NE(control, nullptr);
  control->setProperty("text", "CAM 1");
  control->setProperty("text", "CAM 2");
  EXPECT_EQ(control->properties.size(), 1u);
  EXPECT_EQ(control->property("text"), "CAM 2");
  EXPECT_EQ(control->property("colour"), "");
  // Loading again starts from the file afresh.
  ASSERT_TRUE(studio.loadPanel("1", "p1.drez_ui"));
  EXPECT_EQ(studio.panel("1")->control("vls_name")->property("text"), "");
  EXPECT_EQ(studio.panels().size(), 1u);
}

TEST(InstallationLearner, GoesOnLearningIntoAnInstallationLearnedBefore) {
  // Learned before: device 101 under the learner's first number.
  Installation studio;
  studio.addDevice("TX Alarms", DeviceKind::Infodriver, 101, 20, 0, 0);
  studio.addPanelFile("tx.drez_ui", {"alm_power"});
  ASSERT_TRUE(studio.loadPanel("1", "tx.drez_ui"));
  InstallationLearner learner(studio);
  // A name looked up late gets a number of its own.
  EXPECT_EQ(learner.lookup("TX Router").number, 102);
  // A control addressed late joins the file and the loaded panel, once.
  for (int i = 0; i < 2; ++i) {
    learner.addControl("1", "caption");
    learner.addControl("1", "alm_power");
  }
  EXPECT_THAT(*studio.panelFile("tx.drez_ui"), ::testing::ElementsAre("alm_power", "caption"));
  EXPECT_NE(studio.panel("1")->control("caption"), nullptr);
  EXPECT_THAT(learner.notes(),
              ::testing::ElementsAre("'TX Router' looked up: device 102, offset 40",
                                     "control 'caption' addressed on panel '1'"));
}

TEST(Registrations, AccumulateAndGoPerDeviceAndKind) {
  Registrations held;
  held.add({DeviceKind::Router, 20, 97, 97});
  held.add({DeviceKind::Router, 20, 62, 62});
  held.add({DeviceKind::Infodriver, 20, 1, 6});
  EXPECT_TRUE(held.covers(DeviceKind::Router, 20, 97));
  EXPECT_TRUE(held.covers(DeviceKind::Router, 20, 62));
  EXPECT_FALSE(held.covers(DeviceKind::Router, 20, 63));
  EXPECT_FALSE(held.covers(DeviceKind::Router, 21, 97));
  EXPECT_EQ(held.remove(DeviceKind::Router, 20), 2u);
  EXPECT_EQ(held.remove(DeviceKind::Router, 20), 0u);
  EXPECT_TRUE(held.covers(DeviceKind::Infodriver, 20, 6));
  ASSERT_EQ(held.open().size(), 1u);
  EXPECT_EQ(held.open()[0].describe(), "IR 20 1 6");
}

}  // namespace
