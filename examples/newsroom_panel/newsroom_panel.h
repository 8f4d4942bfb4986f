// NewsroomPanel: the example panel script of a room other than Studio A, the
// newsroom, built against the installed framework package. The guide for
// panel authors (docs/panel_authors.md) walks through it; newsroom.scn is the
// newsroom's installation and newsroom_scenario.scn its test.
//
// The newsroom, as the panel finds it through "SD":
//   'Newsroom Tally'   infodriver: slot 1 holds the newsroom state (0 off,
//                      1 rehearsal, 2 on air), slot 2 the story on air.
//   'Newsroom Router'  router: the two destinations after its offset feed the
//                      desk monitor (offset + 1) and the video wall
//                      (offset + 2).
//   'Newsroom Lights'  output device: output offset + 0 is the on-air sign,
//                      offset + 1 the rehearsal light.
// Its panel file, newsroom_desk.drez_ui in panel "1", has the controls
// on_air, story, desk_source, wall_source and presenter.
//
// What it sends:
//   construction  "PS '1' '<path>/newsroom_desk.drez_ui'"; "SD" for each of
//                 the three devices, each followed, for the two it reads and
//                 only when the lookup found them, by "IR <tally> 1 2" and
//                 "RR <router> <offset+1> <offset+2>"; then the polls
//                 "IP <tally> 1 2" and "RP <router> <offset+1> <offset+2>",
//                 whose answers the host delivers once the export returned.
//   slot 1        the lights of the state: "GS <lights> <offset> <sign> 0",
//                 "GS <lights> <offset+1> <rehearsal> 0" (only when the
//                 lights were found), then "TP 'statesheet=<sheet>' '1'
//                 'on_air'" with QZ_Studio_OFF, QZ_Studio_REH or
//                 QZ_Studio_TX. Any other number sends nothing (the
//                 slot's number: text without one reads as 0, off).
//   slot 2        "TP 'text=<story>' '1' 'story'".
//   destinations  offset + 1 and offset + 2: "TP 'text=<source name>' '1'
//                 'desk_source'" and the same to 'wall_source'.
//   requests      "presenter=<name>" stores the name and shows it with
//                 "TP 'text=<name>' '1' 'presenter'"; no reply.
//                 "return=all" and "return=presenter" reply
//                 "presenter=<name>". Anything else: no reply, no command.
//   event ids     "ET <id>", at once.
//   destruction   "IU <tally>" and "RU <router>" for what was registered;
//                 the framework then sends "AS".
// A text from the studio or a request (the story, a source name, the
// presenter) is sent with each quote that a space follows turned into the
// typographic apostrophe: the host would read such a quote as the end of the
// text. A device the host does not know is written to the debug output and
// left alone. Control events and notifications are ignored.
//
// Created by the export, destroyed by the host through slot 0; runs only on
// the host's thread.

#ifndef EXAMPLES_NEWSROOM_PANEL_NEWSROOM_PANEL_H_
#define EXAMPLES_NEWSROOM_PANEL_NEWSROOM_PANEL_H_

#include <cstdint>

#include "drez_script_helper.h"

class NewsroomPanel : public drez_script_helper {
 public:
  // `host` and `path` may be null. Should start-up fail (out of memory),
  // what it registered is unregistered again before the exception leaves.
  NewsroomPanel(drez_client_host* host, const char* path);
  ~NewsroomPanel() override;

 protected:
  void onControlEvent(ControlEventView* event) override;
  void onDeviceUpdate(DeviceUpdateView* update) override;
  drez_string onHostRequest(HostRequest* request) override;
  void onEventId(int id) override;

 private:
  // Looks `name` up; true when the host knows it. A missing device is
  // written to the debug output.
  bool findDevice(const char* name, int32_t* device, int32_t* offset);
  void showState(int state);
  void unregisterDevices();

  int32_t tallyDevice = 0;
  int32_t routerDevice = 0;
  int32_t routerOffset = 0;
  int32_t lightsDevice = 0;
  int32_t lightsOffset = 0;
  bool tallyRegistered = false;
  bool routerRegistered = false;
  bool lightsFound = false;
  drez_string presenter;
};

#endif  // EXAMPLES_NEWSROOM_PANEL_NEWSROOM_PANEL_H_
