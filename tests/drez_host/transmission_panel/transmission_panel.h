// TransmissionPanel: the alarm panel of a transmission suite, a panel author's
// panel for drez-host's own tests (and the panel fuzzer's), in a room that is
// not Studio A. transmission_suite.scn is the suite, transmission_scenario.scn
// its test. One source is built as the correct panel and as broken twins, each
// with one compile definition (the table in CMakeLists.txt beside this file).
//
// The suite, as the panel finds it through "SD":
//   'TX Alarms'   infodriver: slots 1 to 4 hold the level of the alarms
//                 power, link, audio and video (0 clear, 1 active, other
//                 numbers are levels an operator set).
//   'TX Router'   router: destination offset + 1 is the transmitter feed.
//   'TX Sounder'  output device: output offset + 0 is the alarm sounder.
// Its panel file, tx_alarms.drez_ui in panel "1", has the alarm controls
// alm_power, alm_link, alm_audio and alm_video, the button silence, the
// readout feed, the text field caption and the framework's AckAll and
// ActionAll.
//
// The panel turns the framework's alarm pre-check on (alarmsEnabled): control
// events from AckAll, and from ActionAll with the command "alarm", are the
// framework's own alarm action on the "alm_" controls and never reach
// onControlEvent.
//
// What it sends:
//   construction  "PS '1' '<path>/tx_alarms.drez_ui'"; "SD" for each
//                 device, followed for the two it reads (when found) by
//                 "IR <alarms> 1 4" and "RR <router> <offset+1>
//                 <offset+1>"; then the polls "IP <alarms> 1 4" and "RP
//                 <router> <offset+1> <offset+1>".
//   slot 1 to 4   "TP 'value=<number>' '1' 'alm_<name>'"; when the sounder
//                 changes (it sounds while an alarm is active and the panel
//                 is not silenced), "GS <sounder> <offset> <0|1> 0". Once no
//                 alarm is active the panel is no longer silenced.
//   the feed      "TP 'text=<source name>' '1' 'feed'".
//   (In every text the panel sends from the studio or an operator, a quote
//   that a space follows goes as the typographic apostrophe: the host would
//   read it as the end of the text.)
//   silence       (the button, or the request "silence=1"): the sounder
//                 off, then "TP 'alarm=silenced' '1' 'alm_<name>'" for each
//                 of the four alarm controls.
//   caption       (command "value=<text>"): "TP 'text=<text>' '1'
//                 'caption'" for a caption of up to 63 bytes as sent; a
//                 longer one is refused and sends nothing.
//   requests      "return=silenced" replies "silenced=<0|1>"; "return=feed"
//                 reads the feed's text from the host with its own "TG '1'
//                 'feed' 'text'" (the reply copied by hand and kept until
//                 the next reading) and replies "feed=<text>"; "return=all"
//                 both, one a line; "_commands" lists "silence=1",
//                 "return=feed" and "return=silenced". Anything else: no
//                 reply.
//   event ids     "ET <id>".
//   destruction   "IU <alarms>" and "RU <router>" for what was registered;
//                 the framework then sends "AS".
//
// The twins, each the correct panel but for one fault:
//   TX_SILENCE_LOOP       silence never leaves its loop over the alarms
//   TX_THROWS_ON_EVENT    event id 7 throws std::runtime_error
//   TX_OPEN_REGISTRATION  the router stays registered at teardown
//   TX_DOUBLE_FREE        the last copy of the feed's reply is freed twice at
//                         teardown
//   TX_CAPTION_OVERRUN    a caption of up to 100 characters goes into the
//                         64-byte line buffer
//   TX_LEAKS_REPLY        a copy of the feed's reply is never freed when the
//                         next one replaces it
//   TX_KEEPS_REPLY        the feed's reply is never handed back to the host
//   TX_RELEASES_TWICE     the feed's reply is handed back twice
//   TX_COMMAND_AFTER_AS   teardown sends "AS" before it unregisters
//   TX_UNBALANCED_QUOTE   the feed readout lacks its last closing quote
//
// Created by the export, destroyed by the host through slot 0; runs only on
// the host's thread.

#ifndef TESTS_DREZ_HOST_TRANSMISSION_PANEL_TRANSMISSION_PANEL_H_
#define TESTS_DREZ_HOST_TRANSMISSION_PANEL_TRANSMISSION_PANEL_H_

#include <cstdint>

#include "drez_script_helper.h"

class TransmissionPanel : public drez_script_helper {
 public:
  // `host` and `path` may be null.
  TransmissionPanel(drez_client_host* host, const char* path);
  ~TransmissionPanel() override;

  static constexpr int kAlarms = 4;

 protected:
  void onControlEvent(ControlEventView* event) override;
  void onDeviceUpdate(DeviceUpdateView* update) override;
  drez_string onHostRequest(HostRequest* request) override;
  void onEventId(int id) override;

 private:
  void silence();
  void showCaption(const drez_string& text);
  // The sounder as the alarms and the silence say; sent when it changes.
  void showSounder();
  // The feed's text as the host holds it now.
  drez_string readFeed();
  void unregisterDevices();

  int32_t alarmsDevice = 0;
  int32_t routerDevice = 0;
  int32_t routerOffset = 0;
  int32_t sounderDevice = 0;
  int32_t sounderOffset = 0;
  bool alarmsRegistered = false;
  bool routerRegistered = false;
  bool sounderFound = false;
  int32_t levels[kAlarms] = {};
  bool silenced = false;
  bool sounding = false;
  char* feedReading = nullptr;  // the last reply to the feed's "TG", copied
};

#endif  // TESTS_DREZ_HOST_TRANSMISSION_PANEL_TRANSMISSION_PANEL_H_
