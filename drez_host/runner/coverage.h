// What a run exercised, for --coverage: the command codes scripts sent, the
// callback kinds the host made, the slots and destinations it delivered, the
// controls that sent events or that commands addressed, the triggers that
// fired, and the expectations a run never reached.

#ifndef DREZ_HOST_RUNNER_COVERAGE_H_
#define DREZ_HOST_RUNNER_COVERAGE_H_

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "simulator/host_observer.h"
#include "simulator/installation.h"

namespace drezhost {

class Coverage : public HostObserver {
 public:
  void enteringCall(const HostCall& call, const std::string& context) override;
  void leftCall() override {}
  void commandSent(const std::string& text) override;
  void commandRead(const HostCommand& command) override;
  void updateDelivered(const Device& device, int32_t index) override;
  void controlEventSent(const std::string& control) override;
  void triggerFired(const std::string& command) override;

  // An expectation ("<file>:<line>: <source>") the run never reached.
  void neverReached(const std::string& expectation) { unreached_.push_back(expectation); }
  // The triggers that never fired.
  void neverFired(const std::vector<std::string>& commands) { unfired_ = commands; }

  // The report, several lines each ending in a line feed, under the heading
  // "==== coverage"; device numbers are named from `installation`.
  std::string report(const Installation& installation) const;
  // What was reached, in one line: "4 destinations of 'Newsroom Router',
  // 2 slots of 'Newsroom Tally', 96 updates, 3 control events, 12 calls, 40
  // commands".
  std::string reached(const Installation& installation) const;
  // The slots and destinations delivered, of every device.
  std::size_t indicesReached() const;

 private:
  std::array<std::size_t, DREZ_COMMAND_COUNT> codes_{};  // by the vocabulary's order
  std::map<std::string, std::size_t> unknown_codes_;     // by their first two characters
  std::map<int, std::size_t> kinds_;                     // callbacks by kind
  std::size_t exports_ = 0;
  std::size_t calls_ = 0;
  std::size_t commands_ = 0;
  std::size_t updates_ = 0;
  std::size_t deletions_ = 0;
  std::map<std::pair<int32_t, DeviceKind>, std::set<int32_t>> indices_;
  std::map<std::string, std::size_t> control_events_;
  std::set<std::string> controls_addressed_;
  std::vector<std::string> fired_;
  std::vector<std::string> unfired_;
  std::vector<std::string> unreached_;
};

}  // namespace drezhost

#endif  // DREZ_HOST_RUNNER_COVERAGE_H_
