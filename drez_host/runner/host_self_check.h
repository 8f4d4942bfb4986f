// drez-host's check of its own simulated studio, for validate and monkey:
// after each of the host's operations (HostObserver::hostSettled()), the
// last state the host delivered to every script for each slot and
// destination it follows must be the device's. A breach is a fault of the
// host, never of the script: it is kept apart from the Validator's errors,
// which are the script's.
//
// Threading: the host's.

#ifndef DREZ_HOST_RUNNER_HOST_SELF_CHECK_H_
#define DREZ_HOST_RUNNER_HOST_SELF_CHECK_H_

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "simulator/host_observer.h"
#include "simulator/simulated_host.h"

namespace drezhost {

class HostSelfCheck : public HostObserver {
 public:
  // Checks `host`, which must outlive this; add it with host.addObserver().
  explicit HostSelfCheck(const SimulatedHost& host) : host_(host) {}

  // One message per breach, each (script, slot or destination, state told)
  // once, in the order found: "drez-host's own fault, not the script's:
  // after #7 event id 1, s1 was left believing ...".
  const std::vector<std::string>& findings() const { return findings_; }
  // How many operations were checked.
  std::size_t checked() const { return checked_; }

  void enteringCall(const HostCall&, const std::string&) override {}
  void leftCall() override {}
  void commandSent(const std::string&) override {}
  void updateDelivered(const Device&, int32_t) override {}
  void controlEventSent(const std::string&) override {}
  void triggerFired(const std::string&) override {}
  void outermostCallBegan(const std::string& context) override { last_call_ = context; }
  void hostSettled() override;

 private:
  const SimulatedHost& host_;
  std::string last_call_;
  std::vector<std::string> findings_;
  std::set<std::tuple<std::string, int32_t, int32_t, uint64_t>> seen_;
  std::size_t checked_ = 0;
};

}  // namespace drezhost

#endif  // DREZ_HOST_RUNNER_HOST_SELF_CHECK_H_
