// One session of a host with the Vantrel panel, the same whatever stands
// behind the export: start-up with its poll answers, the studio going to
// transmission with a route change delivered from inside one of its
// commands, router readouts, a mode change, a control event, property
// requests with their replies handed back, an event id, the notifications,
// callbacks of unknown kinds and the teardown. What the host saw is its log,
// which must be the same with the tap in front of the panel as without it.

#ifndef TESTS_DREZ_TAP_STUDIO_SESSION_H_
#define TESTS_DREZ_TAP_STUDIO_SESSION_H_

#include <cstddef>
#include <string>
#include <vector>

#include "drez_export.h"

namespace dreztaptest {

// Everything the host saw.
struct HostLog {
  bool created = false;
  std::vector<std::string> commands;  // every executed command text, in order
  std::vector<std::string> faults;    // the script's faults, as the host saw them
  std::vector<std::string> replies;   // each request's reply text, "(null)" for none
  std::size_t repliesHandedOut = 0;
  std::size_t repliesReleased = 0;
  std::size_t repliesHeld = 0;
};

bool operator==(const HostLog& a, const HostLog& b);
// For failure messages.
std::string describe(const HostLog& log);

// The device updates, control events, requests and releases the session
// delivers (its host calls, the export and the deletion left out).
constexpr std::size_t kSessionDeviceUpdates = 19;
constexpr std::size_t kSessionRequests = 3;

// Runs the session with the script `entry` creates, on a fresh host.
HostLog runStudioSession(load_drez_client_script_fn entry);

}  // namespace dreztaptest

#endif  // TESTS_DREZ_TAP_STUDIO_SESSION_H_
