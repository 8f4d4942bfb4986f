// drez-host replay: plays a capture that drez_tap made in the studio
// (capture/, docs/capture_format.md) against any build of the panel, and
// shows where today's build differs from what happened on air.
//
//   drez-host replay CAPTURE [--script LIB] [--write-scenario FILE] [options]
//
// The host's calls are made again in order with the same data: the export
// with its path, every device update, control event, request, event id,
// notify and deletion, and the calls the host made from inside a command,
// from inside it. Each command the script sends is answered with the result
// or reply the capture recorded (not the simulated studio's), and compared
// with the one the capture has there: a command it does not have, one it has
// that the script does not send, and a request's reply that differs are
// differences. Equal: passed (exit 0), with counts; a difference: failed
// (exit 1), the first differences shown each at its place in the capture.
// The simulated host checks the contract as in any run, and the run is
// isolated as every other.
//
// With --write-scenario the capture is written as a scenario instead
// (scenario/capture_scenario.h), so that a field case can be kept as a test.

#ifndef DREZ_HOST_JOBS_REPLAY_JOB_H_
#define DREZ_HOST_JOBS_REPLAY_JOB_H_

#include <string>
#include <vector>

#include "isolation/common_options.h"
#include "isolation/isolation.h"
#include "isolation/task.h"
#include "runner/verdict.h"

namespace drezcapture {
struct Capture;
}  // namespace drezcapture

namespace drezhost {

// The options of 'replay'.
struct ReplayOptions {
  std::string capture;               // the capture file
  std::string writeScenario;         // --write-scenario FILE
  std::vector<std::string> reports;  // junit=FILE, tap[=FILE], json=FILE
};

// In the child: replays the task's capture.
Verdict runTask(const tasks::Replay& replay, const TaskSettings& settings, ChildLink& link);

// The 'replay' job over options.capture (or, with --write-scenario, the
// capture written as a scenario). The library: --script, else the one the
// capture's `begin` names when that file exists, else the usual rule.
ExitStatus replayJob(const CommonOptions& common, const ReplayOptions& options);

// Why `capture` cannot be replayed (it cannot be read, or is no capture);
// empty text when it can.
std::string captureProblem(const std::string& capture);
// The same of a capture read already from the file `capture`.
std::string captureProblem(const drezcapture::Capture& read, const std::string& capture);

// The library the capture at `path` names, when that file exists; empty otherwise.
std::string captureLibrary(const std::string& path);

}  // namespace drezhost

#endif  // DREZ_HOST_JOBS_REPLAY_JOB_H_
