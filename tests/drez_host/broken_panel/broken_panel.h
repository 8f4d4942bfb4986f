// A panel script that breaks the host contract on purpose, for the tests of
// drez-host's validation. Built only for the tests.
//
// At creation it looks up "RIR Tally Infodriver" by calling the host
// directly and never releases the reply, and registers for slots 1 to 6,
// which it never unregisters; when deleted it lets go of its host without
// sending "AS". Each event id does one more wrong (or telling) thing:
//   1  releases a reply twice          2  releases a pointer never handed out
//   3  sends a code outside the vocabulary   4  sends operands that do not parse
//   5  sends "AS", then "ET 5"         6  polls slots 1 to 6, then sends "ET 6"
//   7  sends "ET 7", then throws out of callback, past the framework's catch
//   8  sets a property on a panel it never loaded
// Any other id is acknowledged with "ET". Each device update switches output
// <index> of device 31 to <number>, so the order of deliveries shows.
// The export returns null for the path "refuse" and throws for "throw".

#ifndef TESTS_BROKEN_PANEL_BROKEN_PANEL_H_
#define TESTS_BROKEN_PANEL_BROKEN_PANEL_H_

#include "drez_script_helper.h"

class BrokenPanel : public drez_script_helper {
 public:
  BrokenPanel(drez_client_host* host, const char* path);
  ~BrokenPanel() override;

  const char* DREZ_THISCALL callback(void* data, int kind) override;

 protected:
  void onControlEvent(ControlEventView* event) override;
  void onDeviceUpdate(DeviceUpdateView* update) override;
  drez_string onHostRequest(HostRequest* request) override;
  void onEventId(int id) override;

 private:
  intptr_t send(const char* text);
};

#endif  // TESTS_BROKEN_PANEL_BROKEN_PANEL_H_
