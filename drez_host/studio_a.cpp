// The built-in installation: Studio A as the Vantrel panel expects it.

#include "installation.h"

namespace drezhost {

Installation Installation::studioA() {
  Installation studio;
  studio.addDevice("RIR Tally Infodriver", DeviceKind::Infodriver, 11, 0, 6, 0);
  studio.addDevice("RIR SDI Router", DeviceKind::Router, 21, 0, 0, 0);
  studio.addDevice("RIR Audio Router", DeviceKind::Router, 22, 0, 0, 0);
  studio.addDevice("Studio A Blue Lights", DeviceKind::Outputs, 31, 100, 0, 10);

  // The studio is off; every control follows the studio state.
  const char* const tally[] = {"0", "", "0", "1", "1", "1"};
  for (int32_t slot = 1; slot <= 6; ++slot) studio.setSlot("RIR Tally Infodriver", slot, tally[slot - 1]);

  const char* const cameras[] = {"CAM 1", "CAM 2", "CAM 3", "CAM 4"};
  for (int32_t source = 1; source <= 4; ++source) {
    studio.nameSource("RIR SDI Router", source, cameras[source - 1]);
  }
  studio.nameSource("RIR SDI Router", 12, "VT 1");
  studio.nameSource("RIR SDI Router", 40, "GFX");
  studio.route("RIR SDI Router", 97, 1, "");

  studio.nameSource("RIR Audio Router", 5, "Desk A");
  studio.nameSource("RIR Audio Router", 6, "Desk B");
  studio.nameSource("RIR Audio Router", 9, "VT 1 audio");
  studio.route("RIR Audio Router", 62, 5, "");

  studio.addPanelFile("p1.drez_ui", {"StA_Floor", "StC_Floor", "StC_News", "vls_id", "vls_name",
                                     "als_id", "als_name", "alm_1", "alm_2"});
  return studio;
}

}  // namespace drezhost
