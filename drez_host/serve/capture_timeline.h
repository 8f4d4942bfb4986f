// A capture from the air as a timeline: its outermost host calls in order,
// each with what the panel sent inside it and what the host answered, and
// the studio as it stood after any of them.
//
// The studio starts as the installation given (learned from the capture,
// as replay --write-scenario learns it, unless one is named) and follows the
// capture alone, no panel library loaded: each device update the host
// delivered (a poll's answer or a change) sets its slot or route; each
// command the panel sent acts as the host acted on it when its result says
// it succeeded: a panel loaded, a property set, an output switched, a range
// registered or unregistered, a detach; an export that made a script and a
// deletion add and remove the script.
//
// States are rebuilt from checkpoints: the studio is kept after every
// kCheckpointEvery calls, so the state after any call costs a copy and at
// most kCheckpointEvery calls applied, whatever the capture's length.
//
// Threading: built on one thread; afterwards every const member may be
// called from any number of threads at once (the HTTP server's).

#ifndef DREZ_HOST_SERVE_CAPTURE_TIMELINE_H_
#define DREZ_HOST_SERVE_CAPTURE_TIMELINE_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "capture_reader.h"
#include "simulator/installation.h"
#include "simulator/simulated_host.h"

namespace drezhost {

// One line inside a host call: a command the panel sent (with the host's
// result or reply), a reply handed back, or a host call made from inside a
// command. `depth` is the capture's: 1 for the call's own commands.
struct TimelineLine {
  int depth = 1;
  std::string kind;    // the capture's keyword: "command", "hand-back", "device", ...
  std::string text;    // the command's text; for a call, its description
  std::string result;  // "1", "reply 3 \"7 0\"", "null", "exception", ...
};

struct TimelineCall {
  std::size_t index = 0;      // from 1
  uint64_t ms = 0;            // as recorded
  std::string kind;           // the capture's keyword: "export", "device", "request", ...
  std::string text;           // in words (scenario/capture_scenario.h's callDescription)
  std::string result;         // of the call itself, as for a line
  std::size_t firstLine = 0;  // the capture's lines the call spans
  std::size_t lastLine = 0;
  // Where a replay against another build differs, one message each; empty
  // when it does not, or when none was made.
  std::vector<std::string> differences;
};

class CaptureTimeline {
 public:
  static constexpr std::size_t kCheckpointEvery = 256;

  // Takes the capture's calls, complete up to where the capture is (a cut
  // capture's last open call is left out), in `installation`. The timeline
  // keeps the capture.
  CaptureTimeline(drezcapture::Capture capture, const Installation& installation);

  const std::vector<TimelineCall>& calls() const { return calls_; }
  // What happened inside the call (made from the capture when asked: a long
  // capture is not held twice).
  std::vector<TimelineLine> linesOf(const TimelineCall& call) const;

  // Marks the call that spans capture line `line` with `message`; a line
  // past the last call marks the last call. False when there is no call.
  bool markDifference(std::size_t line, const std::string& message);
  // How many calls are marked.
  std::size_t differingCalls() const;

  // The studio after call `call` (0: before the first), as state_json.h
  // draws it. `call` must be at most calls().size().
  nlohmann::json stateAfter(std::size_t call) const;

  // The call as the API gives it (GET /api/capture).
  nlohmann::json callJson(const TimelineCall& call) const;

 private:
  struct Studio {
    Installation installation;
    std::vector<Script> scripts;  // alive, oldest first
  };
  // Applies the entries [begin, end) of the capture to `studio`.
  void apply(Studio& studio, std::size_t begin, std::size_t end) const;
  // What the call or command opened at entry `opening` came to; null when
  // the capture ends inside it.
  drezcapture::Result endResult(std::size_t opening) const;

  drezcapture::Capture capture_;
  std::vector<TimelineCall> calls_;
  std::map<std::size_t, std::size_t> ends_;  // entry opening a call or command -> its end
  std::vector<std::pair<std::size_t, std::size_t>> spans_;  // entries of each call
  std::vector<Studio> checkpoints_;                         // [k]: after call k * kCheckpointEvery
  std::map<std::string, std::string> colours_;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SERVE_CAPTURE_TIMELINE_H_
