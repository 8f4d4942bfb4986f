// Vantrel: the automatic panel for Studio A's blue and red lights.
//
// It follows the studio state that the tally infodriver publishes in slots 1
// to 6, switches ten outputs of the lights device to the off, rehearsal or
// transmission pattern, and shows the state as a statesheet on three floor
// and news controls, each following the studio state, the alternate state or
// off. It shows the source routed to SDI destination 97 and audio destination
// 62, and answers the host's property requests.
//
// Created by load_drez_client_script, destroyed by the host with `delete`;
// runs only on the host's thread.

#ifndef PANELS_RIR_VANTREL_VANTREL_H_
#define PANELS_RIR_VANTREL_VANTREL_H_

#include <cstdint>
#include <deque>

#include "drez_script_helper.h"

class Vantrel : public drez_script_helper {
 public:
  // What a control (and, for "StA_Floor", the floor light pair) shows.
  enum FollowMode {
    FOLLOW_OFF = 0,        // state 0, off
    FOLLOW_STUDIO = 1,     // the studio state, slot 1
    FOLLOW_ALTERNATE = 2,  // the alternate state, slot 3
  };

  // Loads the panel file "<path>/p1.drez_ui" into panel "1", looks up the
  // tally infodriver, both routers and the lights, registers for slots 1 to
  // 6 and destinations 97 and 62, then polls them. `host` and `path` may be
  // null. A device the host does not know is used as device 0. If start-up
  // fails with an exception, what was registered is unregistered again and
  // the exception passes on.
  Vantrel(drez_client_host* host, const char* path);
  // Unregisters the tally infodriver, the SDI router and the audio router, in
  // that order; the base then sends "AS".
  ~Vantrel() override;

 protected:
  // Control events are ignored.
  void onControlEvent(ControlEventView* event) override;
  // Router readouts and tally slots. An update that comes while another is
  // being handled (the host delivered it from inside one of that update's
  // commands), or while start-up has not yet looked up every device, waits
  // and is handled afterwards, in the order updates came: handled at once, its
  // commands would interleave with the other's, which would then finish on
  // values that are no longer current.
  void onDeviceUpdate(DeviceUpdateView* update) override;
  // "return", "instance", "myParam", "_events" and "_commands".
  drez_string onHostRequest(HostRequest* request) override;
  // Acknowledges every event id with "ET".
  void onEventId(int id) override;

 private:
  // The floor pair (outputs 0 and 5) for a state; nothing for a non-state.
  void applyFloorLights(int state);
  // The light patterns of the off, rehearsal and transmission states: the
  // floor pair first when "StA_Floor" follows the studio, then outputs 1 to
  // 4 and 6 to 9.
  void applyOffLights();
  void applyRehearsalLights();
  void applyTransmissionLights();
  // The statesheet of one control for a state; nothing for a non-state.
  void setStaFloorStatesheet(int state);
  void setStcFloorStatesheet(int state);
  void setStcNewsStatesheet(int state);

  struct DeferredUpdate {
    int32_t device;
    int32_t index;
    int32_t number;
    drez_string text;
  };
  void handleUpdate(int32_t device, int32_t index, int32_t number, const drez_string& text);
  void handleDeferredUpdates();
  void onStudioState(int state);
  void onAlternateState(int state);
  void applyLightPattern(int state);
  void switchLight(int output, uint8_t state);
  void showStatesheet(const char* control, int state);
  void showRoute(int32_t number, const drez_string& text, const char* idControl,
                 const char* nameControl);
  // The state a control in `mode` shows, given the alternate state.
  int followedState(int mode, int alternate) const;
  void unregisterDevices();

  drez_string myParam;
  drez_string instance;
  drez_config config;
  drez_string offStatesheet;
  drez_string rehStatesheet;
  drez_string txStatesheet;
  int32_t studioState;
  int32_t receivedStudioState;
  int32_t alternateState;
  int32_t receivedAlternateState;
  int32_t tallyDevice;
  int32_t sdiRouterDevice;
  int32_t audioRouterDevice;
  int32_t lightsDevice;
  int32_t lightsOffset;
  int32_t staFloorMode;
  int32_t stcFloorMode;
  int32_t stcNewsMode;
  bool tallyRegistered;
  bool sdiRouterRegistered;
  bool audioRouterRegistered;
  bool updatesDeferred;  // an update is being handled, or start-up runs
  std::deque<DeferredUpdate> deferredUpdates;
};

#endif  // PANELS_RIR_VANTREL_VANTREL_H_
