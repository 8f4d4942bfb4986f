#include "newsroom_test_panel.h"

#include <stdexcept>

namespace {

const char kPanel[] = "1";
const int32_t kOnAirSlot = 1;
const int32_t kStorySlot = 2;
const int32_t kDesk = 1;
const int32_t kWall = 2;  // the cursed destination: offset + 2

// An update of the cursed destination, in the faulty variants.
void curse() {
#if defined(NEWSROOM_NULL_DEREF)
  *static_cast<volatile int*>(nullptr) = 1;
#elif defined(NEWSROOM_THROWS)
  throw std::runtime_error("cursed destination");
#endif
}

}  // namespace

NewsroomTestPanel::NewsroomTestPanel(drez_client_host* host, const char* path)
    : drez_script_helper(host, path) {
  if (lookupDevice("Newsroom Tally", &tallyDevice, nullptr)) {
    registerInfodriver(tallyDevice, kOnAirSlot, kStorySlot, false);
    tallyRegistered = true;
  }
  if (lookupDevice("Newsroom Router", &routerDevice, &routerOffset)) {
    registerRouter(routerDevice, destination(kDesk), destination(kWall), false);
    routerRegistered = true;
  }
  loadPanel(kPanel, "newsroom_desk.drez_ui", drez_string());
  if (tallyRegistered) pollInfodriver(tallyDevice, kOnAirSlot, kStorySlot);
}

NewsroomTestPanel::~NewsroomTestPanel() {
  if (tallyRegistered) unregisterInfodriver(tallyDevice);
#if !defined(NEWSROOM_FORGETS_UNREGISTER)
  if (routerRegistered) unregisterRouter(routerDevice);
#endif
}

int32_t NewsroomTestPanel::destination(int32_t n) const {
  // Wraps instead of overflowing on an absurd offset.
  return static_cast<int32_t>(static_cast<uint32_t>(routerOffset) + static_cast<uint32_t>(n));
}

void NewsroomTestPanel::onDeviceUpdate(DeviceUpdateView* update) {
  if (tallyRegistered && update->device() == tallyDevice) {
    if (update->index() == kOnAirSlot) setControlProperty("text", update->text(), kPanel, "on_air");
    if (update->index() == kStorySlot) setControlProperty("text", update->text(), kPanel, "story");
  }
  if (routerRegistered && update->device() == routerDevice) {
    if (update->index() == destination(kDesk)) {
      deskSource = update->text();
      setControlProperty("text", deskSource, kPanel, "desk_source");
    } else if (update->index() == destination(kWall)) {
      curse();
      wallSource = update->text();
      setControlProperty("text", wallSource, kPanel, "wall_source");
    }
  }
}

drez_string NewsroomTestPanel::onHostRequest(HostRequest* request) {
  if (request->name() == "refresh" && routerRegistered) {
    pollRouter(routerDevice, destination(kDesk), destination(kWall));
  }
  if (request->name() != "return") return drez_string();
  if (request->value() == "all") return "desk=" + deskSource + "\nwall=" + wallSource;
  if (request->value() == "desk") return "desk=" + deskSource;
  if (request->value() == "wall") return "wall=" + wallSource;
  return drez_string();
}

void NewsroomTestPanel::onEventId(int id) { endEvent(id); }

void NewsroomTestPanel::onControlEvent(ControlEventView*) {}

DREZ_PANEL_SCRIPT(NewsroomTestPanel)
