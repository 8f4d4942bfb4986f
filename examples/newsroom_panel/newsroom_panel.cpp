#include "newsroom_panel.h"

#include <string>

namespace {

// Every control of this panel lives on panel 1.
const char kPanel[] = "1";

// Tally infodriver slots, as the host numbers them; the panel does not ask
// for the infodriver's offset.
const int32_t kStateSlot = 1;
const int32_t kStorySlot = 2;

// Router destinations, counted from the router's offset. "SD" replies
// "<number> <offset>"; one router may go by several names, each with its own
// offset, and the destinations of a name start after its offset. The panel's
// first destination is offset + 1: with offset 100 it registers, polls and
// is told about destination 101 (DeviceUpdate::index), and 102.
const int32_t kDeskDestination = 1;
const int32_t kWallDestination = 2;

// Outputs, counted from the lights' offset in the same way: "GS" names
// output offset + n.
const int32_t kOnAirSign = 0;
const int32_t kRehearsalLight = 1;

// Per newsroom state (0 off, 1 rehearsal, 2 on air): the sign, the
// rehearsal light and the statesheet of control on_air.
const int kStates = 3;
const uint8_t kSignStates[kStates] = {0, 0, 1};
const uint8_t kRehearsalStates[kStates] = {0, 1, 0};
const char* const kStatesheets[kStates] = {"QZ_Studio_OFF", "QZ_Studio_REH", "QZ_Studio_TX"};

// The one property the panel answers for.
const char kPresenter[] = "presenter";

// A text from the studio as a command may carry it. The host reads a text
// operand up to the first quote that a space follows, so a text holding one
// ("The players' lounge") would end its command early: such a quote is sent
// as the typographic apostrophe, which reads the same on the desk.
drez_string commandSafe(const drez_string& text) {
  std::string safe = text.str();
  for (std::size_t at = safe.find("' "); at != std::string::npos; at = safe.find("' ", at)) {
    safe.replace(at, 1, "\xE2\x80\x99");
  }
  return drez_string(safe.c_str());
}

// `offset` + `n`, wrapping instead of overflowing should a host report an
// absurd offset.
int32_t offsetBy(int32_t offset, int32_t n) {
  return static_cast<int32_t>(static_cast<uint32_t>(offset) + static_cast<uint32_t>(n));
}

}  // namespace

NewsroomPanel::NewsroomPanel(drez_client_host* host, const char* path)
    : drez_script_helper(host, path) {
  try {
    loadPanel(kPanel, "newsroom_desk.drez_ui", drez_string());
    if (findDevice("Newsroom Tally", &tallyDevice, nullptr)) {
      registerInfodriver(tallyDevice, kStateSlot, kStorySlot, false);
      tallyRegistered = true;
    }
    if (findDevice("Newsroom Router", &routerDevice, &routerOffset)) {
      registerRouter(routerDevice, offsetBy(routerOffset, kDeskDestination),
                     offsetBy(routerOffset, kWallDestination), false);
      routerRegistered = true;
    }
    lightsFound = findDevice("Newsroom Lights", &lightsDevice, &lightsOffset);
    // Polls last, once every device is known. The host answers them after
    // the export has returned: only then does it know this script.
    if (tallyRegistered) pollInfodriver(tallyDevice, kStateSlot, kStorySlot);
    if (routerRegistered) {
      pollRouter(routerDevice, offsetBy(routerOffset, kDeskDestination),
                 offsetBy(routerOffset, kWallDestination));
    }
  } catch (...) {
    // The host will never delete a script that did not start: undo now.
    unregisterDevices();
    throw;
  }
}

// Everything registered is undone here; the framework's destructor then
// sends "AS", the last command.
NewsroomPanel::~NewsroomPanel() { unregisterDevices(); }

void NewsroomPanel::unregisterDevices() {
  if (tallyRegistered) unregisterInfodriver(tallyDevice);
  if (routerRegistered) unregisterRouter(routerDevice);
  tallyRegistered = routerRegistered = false;
}

bool NewsroomPanel::findDevice(const char* name, int32_t* device, int32_t* offset) {
  if (lookupDevice(name, device, offset)) return true;
  debugMessage("newsroom_panel: the host knows no device '%1'\n", name, "", "", "", "", "", "", "",
               "");
  return false;
}

void NewsroomPanel::onDeviceUpdate(DeviceUpdateView* update) {
  // A router and an infodriver may share a number: check the index too.
  if (tallyRegistered && update->device() == tallyDevice) {
    if (update->index() == kStateSlot) showState(update->number());
    if (update->index() == kStorySlot) {
      setControlProperty("text", commandSafe(update->text()), kPanel, "story");
    }
  }
  if (routerRegistered && update->device() == routerDevice) {
    // For a router, number is the routed source and text its name.
    if (update->index() == offsetBy(routerOffset, kDeskDestination)) {
      setControlProperty("text", commandSafe(update->text()), kPanel, "desk_source");
    } else if (update->index() == offsetBy(routerOffset, kWallDestination)) {
      setControlProperty("text", commandSafe(update->text()), kPanel, "wall_source");
    }
  }
}

void NewsroomPanel::showState(int state) {
  if (state < 0 || state >= kStates) return;
  if (lightsFound) {
    setOutputState(lightsDevice, kSignStates[state], offsetBy(lightsOffset, kOnAirSign), false);
    setOutputState(lightsDevice, kRehearsalStates[state], offsetBy(lightsOffset, kRehearsalLight),
                   false);
  }
  setControlProperty("statesheet", kStatesheets[state], kPanel, "on_air");
}

drez_string NewsroomPanel::onHostRequest(HostRequest* request) {
  // "return=<name>" reads a property; "all" lists every one, one a line
  // (here there is only one). The framework copies the reply into a block
  // it frees when the host hands it back.
  if (request->name() == "return") {
    if (request->value() == "all" || request->value() == kPresenter) {
      return drez_string(kPresenter) + "=" + presenter;
    }
    return drez_string();
  }
  // "<name>=<value>" sets one.
  if (request->name() == kPresenter) {
    presenter = request->value();
    setControlProperty("text", commandSafe(presenter), kPanel, "presenter");
  }
  return drez_string();
}

void NewsroomPanel::onEventId(int id) { endEvent(id); }

void NewsroomPanel::onControlEvent(ControlEventView*) {}

DREZ_PANEL_SCRIPT(NewsroomPanel)
