#include "broken_panel.h"

#include <new>
#include <stdexcept>
#include <string>

BrokenPanel::BrokenPanel(drez_client_host* host, const char* path)
    : drez_script_helper(host, path) {
  send("SD 'RIR Tally Infodriver'");    // the reply is never released
  registerInfodriver(11, 1, 6, false);  // never unregistered
}

BrokenPanel::~BrokenPanel() {
  host = nullptr;  // the base sends no "AS" then
}

const char* BrokenPanel::callback(void* data, int kind) {
  // Past the framework, which would catch it.
  if (kind == CB_EVENT_ID && reinterpret_cast<intptr_t>(data) == 7) {
    endEvent(7);
    throw std::runtime_error("broken on purpose");
  }
  return drez_script_helper::callback(data, kind);
}

intptr_t BrokenPanel::send(const char* text) {
  return host != nullptr ? host->command(text, HOST_CMD_EXECUTE) : 0;
}

void BrokenPanel::onControlEvent(ControlEventView*) {}

void BrokenPanel::onDeviceUpdate(DeviceUpdateView* update) {
  setOutputState(31, static_cast<uint8_t>(update->number()), update->index(), false);
}

drez_string BrokenPanel::onHostRequest(HostRequest* request) { return request->value(); }

void BrokenPanel::onEventId(int id) {
  switch (id) {
    case 1: {
      const intptr_t reply = send("SD 'RIR SDI Router'");
      host->command(reinterpret_cast<const char*>(reply), HOST_CMD_RELEASE);
      host->command(reinterpret_cast<const char*>(reply), HOST_CMD_RELEASE);
      break;
    }
    case 2: {
      static const char never_given[] = "not a reply";
      host->command(never_given, HOST_CMD_RELEASE);
      break;
    }
    case 3:
      send("ZZ 1");
      break;
    case 4:
      send("GS 31 x 1 0");
      break;
    case 5:
      detachFromHost();
      endEvent(5);
      break;
    case 6:
      pollInfodriver(11, 1, 6);
      endEvent(6);
      break;
    case 8:
      endEvent(8);
      setControlProperty("text", "x", "1", "no_such_control");
      break;
    default:
      endEvent(id);
  }
}

// Not DREZ_PANEL_SCRIPT: this export refuses and throws on request.
extern "C" DREZ_PANEL_EXPORT drez_client_callback* DREZ_CDECL
load_drez_client_script(drez_client_host* host, const char* path) {
  const std::string how = path != nullptr ? path : "";
  if (how == "refuse") return nullptr;
  if (how == "throw") throw std::runtime_error("refused to start");
  return new (std::nothrow) BrokenPanel(host, path);
}
