// A script that records which handler the dispatcher called and with what,
// and exposes the base's protected state to the framework tests.

#ifndef TESTS_PROBE_SCRIPT_H_
#define TESTS_PROBE_SCRIPT_H_

#include <string>
#include <vector>

#include "drez_script_helper.h"

class ProbeScript : public drez_script_helper {
 public:
  using drez_script_helper::drez_script_helper;

  void enableAlarms() { alarmsEnabled = true; }
  const drez_string& pathText() const { return path; }

  std::vector<std::string> calls;  // one line per handler call
  drez_string nextReply;           // what onHostRequest returns

 protected:
  void onControlEvent(ControlEventView* event) override {
    calls.push_back("control " + event->controlId().str() + " " + event->commandName().str() + "=" +
                    event->commandValue().str());
  }
  void onDeviceUpdate(DeviceUpdateView* update) override {
    calls.push_back("device " + std::to_string(update->device()) + " " +
                    std::to_string(update->index()) + " " + std::to_string(update->number()) + " " +
                    update->text().str());
  }
  drez_string onHostRequest(HostRequest* request) override {
    calls.push_back("request " + request->name().str() + "=" + request->value().str());
    return nextReply;
  }
  void onNotify7(NotifyView* view) override {
    calls.push_back("notify7 " + std::to_string(reinterpret_cast<intptr_t>(view->data())));
  }
  void onEventId(int id) override { calls.push_back("event " + std::to_string(id)); }
  void onNotify6(NotifyView* view) override {
    calls.push_back("notify6 " + std::to_string(reinterpret_cast<intptr_t>(view->data())));
  }
};

#endif  // TESTS_PROBE_SCRIPT_H_
