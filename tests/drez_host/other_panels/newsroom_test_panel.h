// A newsroom panel for drez-host's own tests, built four times from one
// source with one define each (CMakeLists.txt beside this file):
//   newsroom_correct             keeps every rule
//   newsroom_null_deref          NEWSROOM_NULL_DEREF: dereferences a null
//                                pointer on any update of the cursed destination
//   newsroom_throws              NEWSROOM_THROWS: its update handler throws
//                                std::runtime_error("cursed destination") on
//                                an update of the cursed destination (the
//                                framework catches it and drops the event)
//   newsroom_forgets_unregister  NEWSROOM_FORGETS_UNREGISTER: sends no "RU"
//                                for its router at teardown
// It uses the devices of the example newsroom panel
// (examples/newsroom_panel/newsroom.scn), so the same installation works:
//   construction  "SD 'Newsroom Tally'", "IR <tally> 1 2", "SD 'Newsroom
//                 Router'", "RR <router> <offset+1> <offset+2>" (each only
//                 when the lookup found the device), "PS '1'
//                 'newsroom_desk.drez_ui'", then "IP <tally> 1 2". The router
//                 is not polled, so the cursed destination is reached only
//                 when a scenario routes it (or validate or monkey update it).
//   update        tally slot 1 or 2: "TP 'text=<text>' '1' 'on_air'" or
//                 'story'; router destination offset + 1 or offset + 2 (the
//                 cursed one): "TP 'text=<source name>' '1' 'desk_source'"
//                 or 'wall_source'.
//   request       "return=desk" and "return=wall" reply "desk=<source name
//                 last shown on the desk>" and "wall=<... on the wall>";
//                 "return=all" replies both, one a line; "refresh" polls the
//                 router again ("RP <router> <offset+1> <offset+2>", when
//                 registered); anything else, no reply.
//   event id      "ET <id>".
//   destruction   "IU <tally>", "RU <router>" (for what was registered),
//                 then the framework's "AS".
// With the example's installation the cursed destination is 102 of 'Newsroom
// Router' (device 42, offset 100).

#ifndef TESTS_DREZ_HOST_OTHER_PANELS_NEWSROOM_TEST_PANEL_H_
#define TESTS_DREZ_HOST_OTHER_PANELS_NEWSROOM_TEST_PANEL_H_

#include <cstdint>

#include "drez_script_helper.h"

class NewsroomTestPanel : public drez_script_helper {
 public:
  NewsroomTestPanel(drez_client_host* host, const char* path);
  ~NewsroomTestPanel() override;

 protected:
  void onControlEvent(ControlEventView* event) override;
  void onDeviceUpdate(DeviceUpdateView* update) override;
  drez_string onHostRequest(HostRequest* request) override;
  void onEventId(int id) override;

 private:
  // The router's destination `n` (1 or 2), counted from its offset.
  int32_t destination(int32_t n) const;

  int32_t tallyDevice = 0;
  int32_t routerDevice = 0;
  int32_t routerOffset = 0;
  bool tallyRegistered = false;
  bool routerRegistered = false;
  drez_string deskSource;
  drez_string wallSource;
};

#endif  // TESTS_DREZ_HOST_OTHER_PANELS_NEWSROOM_TEST_PANEL_H_
