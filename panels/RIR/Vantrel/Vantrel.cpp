#include "Vantrel.h"

#include <cstring>

namespace {

// Every control of this panel lives on panel 1.
const char kPanel[] = "1";

const int kSdiDestination = 97;
const int kAudioDestination = 62;

// Tally infodriver slots.
const int kFirstSlot = 1;
const int kLastSlot = 6;
enum Slot {
  SLOT_STUDIO_STATE = 1,
  SLOT_ALTERNATE_STATE = 3,
  SLOT_STA_FLOOR_MODE = 4,
  SLOT_STC_FLOOR_MODE = 5,
  SLOT_STC_NEWS_MODE = 6,
};

enum StudioState { STATE_OFF = 0, STATE_REH = 1, STATE_TX = 2 };
// Never a state: the setters send nothing for it.
const int kNoState = -1;

// The floor pair, outputs 0 and 5, and its states for off, rehearsal and
// transmission.
const int kFloorPair[2] = {0, 5};
const uint8_t kFloorPairStates[3][2] = {{0, 0}, {1, 0}, {0, 1}};

// Light outputs 1 to 4 and 6 to 9, in the order they are switched, and their
// states in the off, rehearsal and transmission patterns.
const int kStudioGroup[8] = {1, 2, 3, 4, 6, 7, 8, 9};
const uint8_t kStudioGroupStates[3][8] = {
    {0, 0, 0, 0, 0, 0, 0, 0},  // off
    {1, 1, 1, 1, 0, 0, 0, 0},  // rehearsal
    {1, 0, 0, 0, 1, 1, 1, 1},  // transmission: output 1 stays on
};

// Control names, by Vantrel::StatesheetControl.
const char* const kStatesheetControlNames[] = {"StA_Floor", "StC_Floor", "StC_News"};

bool isState(int state) { return state >= STATE_OFF && state <= STATE_TX; }

// Holds a flag set for as long as it lives, also when an exception leaves.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

Vantrel::Vantrel(drez_client_host* host, const char* path)
    : drez_script_helper(host, path),
      studioState(kNoState),
      receivedStudioState(0),
      alternateState(kNoState),
      receivedAlternateState(0),
      tallyDevice(0),
      sdiRouterDevice(0),
      audioRouterDevice(0),
      lightsDevice(0),
      lightsOffset(0),
      staFloorMode(FOLLOW_OFF),
      stcFloorMode(FOLLOW_OFF),
      stcNewsMode(FOLLOW_OFF),
      tallyRegistered(false),
      sdiRouterRegistered(false),
      audioRouterRegistered(false),
      updatesDeferred(true) {
  offStatesheet = "QZ_Studio_OFF";
  rehStatesheet = "QZ_Studio_REH";
  txStatesheet = "QZ_Studio_TX";
  try {
    loadPanel(kPanel, "p1.drez_ui", drez_string());
    lookupDevice("RIR Tally Infodriver", &tallyDevice, nullptr);
    registerInfodriver(tallyDevice, kFirstSlot, kLastSlot, false);
    tallyRegistered = true;
    lookupDevice("RIR SDI Router", &sdiRouterDevice, nullptr);
    registerRouter(sdiRouterDevice, kSdiDestination, kSdiDestination, false);
    sdiRouterRegistered = true;
    lookupDevice("RIR Audio Router", &audioRouterDevice, nullptr);
    registerRouter(audioRouterDevice, kAudioDestination, kAudioDestination, false);
    audioRouterRegistered = true;
    lookupDevice("Studio A Blue Lights", &lightsDevice, &lightsOffset);
    buildFixedCommands();
    // Every device is known: what came during the lookups is handled now.
    handleDeferredUpdates();
    updatesDeferred = false;
    // Polls last: their answers, delivered now or later, find every device.
    pollRouter(sdiRouterDevice, kSdiDestination, kSdiDestination);
    pollRouter(audioRouterDevice, kAudioDestination, kAudioDestination);
    pollInfodriver(tallyDevice, kFirstSlot, kLastSlot);
  } catch (...) {
    unregisterDevices();
    throw;
  }
}

Vantrel::~Vantrel() { unregisterDevices(); }

void Vantrel::unregisterDevices() {
  if (tallyRegistered) unregisterInfodriver(tallyDevice);
  if (sdiRouterRegistered) unregisterRouter(sdiRouterDevice);
  if (audioRouterRegistered) unregisterRouter(audioRouterDevice);
  tallyRegistered = sdiRouterRegistered = audioRouterRegistered = false;
}

void Vantrel::buildFixedCommands() {
  const drez_string* const statesheets[kStudioStates] = {&offStatesheet, &rehStatesheet,
                                                         &txStatesheet};
  for (int state = 0; state < kStudioStates; ++state) {
    for (int i = 0; i < kFloorPairOutputs; ++i) {
      floorPairCommands[state][i] = lightCommand(kFloorPair[i], kFloorPairStates[state][i]);
    }
    for (int i = 0; i < kStudioGroupOutputs; ++i) {
      studioGroupCommands[state][i] = lightCommand(kStudioGroup[i], kStudioGroupStates[state][i]);
    }
    for (int control = 0; control < kStatesheetControls; ++control) {
      statesheetCommands[control][state] =
          controlPropertyText("statesheet", *statesheets[state], kPanel,
                              kStatesheetControlNames[control])
              .text();
    }
  }
}

drez_string Vantrel::lightCommand(int output, uint8_t state) const {
  // Wraps instead of overflowing when a host reports an absurd offset.
  const int32_t index =
      static_cast<int32_t>(static_cast<uint32_t>(lightsOffset) + static_cast<uint32_t>(output));
  return outputStateText(lightsDevice, state, index, false).text();
}

void Vantrel::onControlEvent(ControlEventView*) {}

void Vantrel::onDeviceUpdate(DeviceUpdateView* update) {
  if (updatesDeferred) {
    deferredUpdates.push_back(
        {update->device(), update->index(), update->number(), update->text()});
    return;
  }
  FlagScope busy(updatesDeferred);
  // Tested here, not inside: the call alone would cost an event a tenth of
  // its sending.
  if (!deferredUpdates.empty()) handleDeferredUpdates();  // left by a failed one
  handleUpdate(update->device(), update->index(), update->number(), update->recordText());
  if (!deferredUpdates.empty()) handleDeferredUpdates();
}

void Vantrel::handleDeferredUpdates() {
  // Updates that come while one is handled are appended behind it.
  while (!deferredUpdates.empty()) {
    const DeferredUpdate next = std::move(deferredUpdates.front());
    deferredUpdates.pop_front();
    handleUpdate(next.device, next.index, next.number, next.text);
  }
}

void Vantrel::handleUpdate(int32_t device, int32_t index, int32_t number, const char* text) {
  if (device == sdiRouterDevice && index == kSdiDestination) {
    showRoute(number, text, "vls_id", "vls_name");
  } else if (device == audioRouterDevice && index == kAudioDestination) {
    showRoute(number, text, "als_id", "als_name");
  } else if (device == tallyDevice) {
    switch (index) {
      case SLOT_STUDIO_STATE:
        onStudioState(drez_string::toInt(text));
        break;
      case SLOT_ALTERNATE_STATE:
        onAlternateState(drez_string::toInt(text));
        break;
      case SLOT_STA_FLOOR_MODE: {
        staFloorMode = drez_string::toInt(text);
        const int shown = followedState(staFloorMode, alternateState);
        applyFloorLights(shown);
        setStaFloorStatesheet(shown);
        break;
      }
      case SLOT_STC_FLOOR_MODE:
        stcFloorMode = drez_string::toInt(text);
        setStcFloorStatesheet(followedState(stcFloorMode, alternateState));
        break;
      case SLOT_STC_NEWS_MODE:
        stcNewsMode = drez_string::toInt(text);
        setStcNewsStatesheet(followedState(stcNewsMode, alternateState));
        break;
      default:  // slot 2 carries nothing for this panel
        break;
    }
  }
}

void Vantrel::onStudioState(int state) {
  receivedStudioState = state;
  if (state == studioState) return;
  applyLightPattern(state);
  if (staFloorMode == FOLLOW_STUDIO) setStaFloorStatesheet(state);
  if (stcFloorMode == FOLLOW_STUDIO) setStcFloorStatesheet(state);
  if (stcNewsMode == FOLLOW_STUDIO) setStcNewsStatesheet(state);
  studioState = state;
}

void Vantrel::onAlternateState(int state) {
  receivedAlternateState = state;
  if (state != alternateState) {
    // The two StC controls are shown again in every mode; StA_Floor and its
    // light pair only when they follow the alternate state.
    setStcFloorStatesheet(followedState(stcFloorMode, state));
    setStcNewsStatesheet(followedState(stcNewsMode, state));
    if (staFloorMode == FOLLOW_ALTERNATE) {
      applyFloorLights(state);
      setStaFloorStatesheet(state);
    }
  }
  alternateState = state;
}

int Vantrel::followedState(int mode, int alternate) const {
  switch (mode) {
    case FOLLOW_OFF:
      return STATE_OFF;
    case FOLLOW_STUDIO:
      return studioState;
    case FOLLOW_ALTERNATE:
      return alternate;
    default:
      return kNoState;
  }
}

void Vantrel::applyFloorLights(int state) {
  if (!isState(state)) return;
  for (const drez_string& command : floorPairCommands[state]) sendCommand(command);
}

void Vantrel::applyLightPattern(int state) {
  if (!isState(state)) return;
  if (staFloorMode == FOLLOW_STUDIO) applyFloorLights(state);
  for (const drez_string& command : studioGroupCommands[state]) sendCommand(command);
}

void Vantrel::applyOffLights() { applyLightPattern(STATE_OFF); }

void Vantrel::applyRehearsalLights() { applyLightPattern(STATE_REH); }

void Vantrel::applyTransmissionLights() { applyLightPattern(STATE_TX); }

void Vantrel::showStatesheet(StatesheetControl control, int state) {
  if (!isState(state)) return;
  sendCommand(statesheetCommands[control][state]);
}

void Vantrel::setStaFloorStatesheet(int state) { showStatesheet(STA_FLOOR, state); }

void Vantrel::setStcFloorStatesheet(int state) { showStatesheet(STC_FLOOR, state); }

void Vantrel::setStcNewsStatesheet(int state) { showStatesheet(STC_NEWS, state); }

void Vantrel::showRoute(int32_t number, const char* text, const CommandPiece& idControl,
                        const CommandPiece& nameControl) {
  // On the stack: the source number is written straight into the command,
  // and the name copied straight from the update's text.
  sendCommand(controlPropertyText("text", CommandPiece::number(number), kPanel, idControl).text());
  sendCommand(controlPropertyText("text", text, kPanel, nameControl).text());
}

drez_string Vantrel::onHostRequest(HostRequest* request) {
  // Read where the parse left them: copies would be most of a request's cost.
  const char* const name = request->parsed().name;
  const char* const value = request->parsed().value;
  if (std::strcmp(name, "return") == 0) {
    // "all" lists every property, and "myParam" is the only one.
    if (std::strcmp(value, "all") == 0 || std::strcmp(value, "myParam") == 0) {
      return "myParam=" + myParam;
    }
    return drez_string();
  }
  if (std::strcmp(name, "instance") == 0 && instance != value) {
    instance = value;
  } else if (std::strcmp(name, "myParam") == 0) {
    myParam = value;
  } else if (std::strcmp(name, "_events") == 0) {
    return "notify=*";  // a list of one item, which is the list's text
  } else if (std::strcmp(name, "_commands") == 0) {
    return "myParam=[value]";
  }
  return drez_string();
}

void Vantrel::onEventId(int id) { endEvent(id); }
