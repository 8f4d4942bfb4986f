// Vantrel: the automatic panel for Studio A's blue and red lights.
//
// It follows the studio state that the tally infodriver publishes in slots 1
// to 6, switches ten outputs of the lights device to the off, rehearsal or
// transmission pattern, and shows the state as a statesheet on three floor
// and news controls, each following the studio state, the alternate state or
// off. It shows the source routed to SDI destination 97 and audio destination
// 62, and answers the host's property requests.
//
// Once start-up is done, a tally update, a router readout and an event id
// allocate nothing, so that running out of memory cannot make the panel lose
// one: the commands whose operands start-up fixes are built then (see the
// members below), and a readout is built on the stack. What still allocates:
// a property request (the copy its parse needs and the reply block the host
// frees), an update that has to wait (a copy of its text), and a readout
// whose source name is too long for a command's stack buffer.
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
  // 6 and destinations 97 and 62, builds the fixed commands, then polls.
  // `host` and `path` may be null. A device the host does not know is used
  // as device 0. If start-up fails with an exception (out of memory), what
  // was registered is unregistered again and the exception passes on.
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

  static constexpr int kStudioStates = 3;  // off, rehearsal, transmission
  static constexpr int kFloorPairOutputs = 2;
  static constexpr int kStudioGroupOutputs = 8;
  // The controls that show a statesheet.
  enum StatesheetControl { STA_FLOOR, STC_FLOOR, STC_NEWS, kStatesheetControls };

  struct DeferredUpdate {
    int32_t device;
    int32_t index;
    int32_t number;
    drez_string text;
  };
  void buildFixedCommands();
  // The "GS" that switches light output `output` (0 to 9) to `state`.
  drez_string lightCommand(int output, uint8_t state) const;
  // `text` is the update's text, read during the call only.
  void handleUpdate(int32_t device, int32_t index, int32_t number, const char* text);
  void handleDeferredUpdates();
  void onStudioState(int state);
  void onAlternateState(int state);
  void applyLightPattern(int state);
  void showStatesheet(StatesheetControl control, int state);
  // The controls are pieces so that the lengths of their names are counted
  // where they are literals, at compile time.
  void showRoute(int32_t number, const char* text, const CommandPiece& idControl,
                 const CommandPiece& nameControl);
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
  // Updates waiting to be handled, oldest first. Memory is taken only when an
  // update has to wait (and once, when the queue is made at start-up).
  std::deque<DeferredUpdate> deferredUpdates;

  // The commands whose operands are all fixed once start-up has learnt the
  // device numbers and the lights offset, built then and handed to the host
  // as they are on every event after: building them each time would cost
  // several times sending them, and would need the heap, where running out
  // loses the event. The device numbers never change after start-up, so the
  // texts never need rebuilding. Empty until start-up has built them, which
  // is before any update is handled.
  //
  // Per studio state, in sending order: the "GS" of the floor pair, the "GS"
  // of the studio group, and the "TP" of each control's statesheet.
  drez_string floorPairCommands[kStudioStates][kFloorPairOutputs];
  drez_string studioGroupCommands[kStudioStates][kStudioGroupOutputs];
  drez_string statesheetCommands[kStatesheetControls][kStudioStates];
};

#endif  // PANELS_RIR_VANTREL_VANTREL_H_
