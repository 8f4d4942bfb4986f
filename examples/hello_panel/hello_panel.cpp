// The smallest useful panel script: it writes a greeting into control
// "greeting" of panel 1 at start-up, acknowledges every event id, and
// answers the property request "return=greeting".

#include "drez_script_helper.h"

namespace {

class HelloPanel : public drez_script_helper {
 public:
  HelloPanel(drez_client_host* host, const char* path) : drez_script_helper(host, path) {
    setControlProperty("text", "hello", "1", "greeting");
  }

 protected:
  void onControlEvent(ControlEventView*) override {}
  void onDeviceUpdate(DeviceUpdateView*) override {}
  drez_string onHostRequest(HostRequest* request) override {
    if (request->name() == "return" && request->value() == "greeting") return "greeting=hello";
    return drez_string();
  }
  void onEventId(int id) override { endEvent(id); }
};

}  // namespace

DREZ_PANEL_SCRIPT(HelloPanel)
