#include "Vantrel.h"

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

// Light outputs 1 to 4 and 6 to 9, in the order they are switched, and their
// states in the off, rehearsal and transmission patterns. Outputs 0 and 5 are
// the floor pair.
const int kStudioGroup[8] = {1, 2, 3, 4, 6, 7, 8, 9};
const uint8_t kStudioGroupStates[3][8] = {
    {0, 0, 0, 0, 0, 0, 0, 0},  // off
    {1, 1, 1, 1, 0, 0, 0, 0},  // rehearsal
    {1, 0, 0, 0, 1, 1, 1, 1},  // transmission: output 1 stays on
};

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

void Vantrel::onControlEvent(ControlEventView*) {}

void Vantrel::onDeviceUpdate(DeviceUpdateView* update) {
  if (updatesDeferred) {
    deferredUpdates.push_back(
        {update->device(), update->index(), update->number(), update->text()});
    return;
  }
  FlagScope busy(updatesDeferred);
  handleDeferredUpdates();  // left behind when handling one of them failed
  handleUpdate(update->device(), update->index(), update->number(), update->text());
  handleDeferredUpdates();
}

void Vantrel::handleDeferredUpdates() {
  while (!deferredUpdates.empty()) {
    const DeferredUpdate next = std::move(deferredUpdates.front());
    deferredUpdates.pop_front();
    handleUpdate(next.device, next.index, next.number, next.text);
  }
}

void Vantrel::handleUpdate(int32_t device, int32_t index, int32_t number, const drez_string& text) {
  if (device == sdiRouterDevice && index == kSdiDestination) {
    showRoute(number, text, "vls_id", "vls_name");
  } else if (device == audioRouterDevice && index == kAudioDestination) {
    showRoute(number, text, "als_id", "als_name");
  } else if (device == tallyDevice) {
    switch (index) {
      case SLOT_STUDIO_STATE:
        onStudioState(text.toInt());
        break;
      case SLOT_ALTERNATE_STATE:
        onAlternateState(text.toInt());
        break;
      case SLOT_STA_FLOOR_MODE: {
        staFloorMode = text.toInt();
        const int shown = followedState(staFloorMode, alternateState);
        applyFloorLights(shown);
        setStaFloorStatesheet(shown);
        break;
      }
      case SLOT_STC_FLOOR_MODE:
        stcFloorMode = text.toInt();
        setStcFloorStatesheet(followedState(stcFloorMode, alternateState));
        break;
      case SLOT_STC_NEWS_MODE:
        stcNewsMode = text.toInt();
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

void Vantrel::switchLight(int output, uint8_t state) {
  // Wraps instead of overflowing when a host reports an absurd offset.
  const int32_t index =
      static_cast<int32_t>(static_cast<uint32_t>(lightsOffset) + static_cast<uint32_t>(output));
  setOutputState(lightsDevice, state, index, false);
}

void Vantrel::applyFloorLights(int state) {
  if (!isState(state)) return;
  switchLight(0, state == STATE_REH ? 1 : 0);
  switchLight(5, state == STATE_TX ? 1 : 0);
}

void Vantrel::applyLightPattern(int state) {
  if (!isState(state)) return;
  if (staFloorMode == FOLLOW_STUDIO) applyFloorLights(state);
  for (int i = 0; i < 8; ++i) switchLight(kStudioGroup[i], kStudioGroupStates[state][i]);
}

void Vantrel::applyOffLights() { applyLightPattern(STATE_OFF); }

void Vantrel::applyRehearsalLights() { applyLightPattern(STATE_REH); }

void Vantrel::applyTransmissionLights() { applyLightPattern(STATE_TX); }

void Vantrel::showStatesheet(const char* control, int state) {
  const drez_string* statesheet[3] = {&offStatesheet, &rehStatesheet, &txStatesheet};
  if (!isState(state)) return;
  setControlProperty("statesheet", *statesheet[state], kPanel, control);
}

void Vantrel::setStaFloorStatesheet(int state) { showStatesheet("StA_Floor", state); }

void Vantrel::setStcFloorStatesheet(int state) { showStatesheet("StC_Floor", state); }

void Vantrel::setStcNewsStatesheet(int state) { showStatesheet("StC_News", state); }

void Vantrel::showRoute(int32_t number, const drez_string& text, const char* idControl,
                        const char* nameControl) {
  setControlProperty("text", drez_string(number, 0, 0, 10), kPanel, idControl);
  setControlProperty("text", text, kPanel, nameControl);
}

drez_string Vantrel::onHostRequest(HostRequest* request) {
  const drez_string name = request->name();
  const drez_string value = request->value();
  if (name == "return") {
    if (value == "all") {
      drez_stringlist properties;
      properties << drez_string("myParam=%1").arg(myParam);
      return properties.toString('\n');
    }
    if (value == "myParam") return drez_string("%1=%2").arg(value).arg(myParam);
    return drez_string();
  }
  if (name == "instance" && value != instance) {
    instance = value;
  } else if (name == "myParam") {
    myParam = value;
  } else if (name == "_events") {
    drez_stringlist events;
    events << "notify=*";
    return events.toString('\n');
  } else if (name == "_commands") {
    drez_stringlist commands;
    commands << "myParam=[value]";
    return commands.toString('\n');
  }
  return drez_string();
}

void Vantrel::onEventId(int id) { endEvent(id); }
