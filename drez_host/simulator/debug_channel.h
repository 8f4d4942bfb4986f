// Where the lines a script writes on its debug channel come from: standard
// error captured in a child process, OutputDebugStringA caught on Windows
// (isolation/debug_capture.h). The host takes what arrived where the script
// has handed it control: the end of each call into it and the start of a
// call nested in another, so that each line belongs to the call that wrote
// it; and, while a trace shows the lines, each command the script sends, so
// that they stand in the trace where the script wrote them.
//
// Threading: the host's.

#ifndef DREZ_HOST_SIMULATOR_DEBUG_CHANNEL_H_
#define DREZ_HOST_SIMULATOR_DEBUG_CHANNEL_H_

#include <string>
#include <vector>

namespace drezhost {

class DebugChannel {
 public:
  virtual ~DebugChannel() = default;
  // Appends to `lines` each whole line written since the last call, without
  // its line end; with `flush`, also a last line that has no line end yet.
  virtual void take(std::vector<std::string>& lines, bool flush) = 0;
};

// True for the line the framework writes when a handler failed and its
// event was lost:
//   "drez_script_helper: callback of kind <n> failed (<why>); the event was dropped"
// The host takes it for a broken contract of the call it was written in.
bool isDroppedEventLine(const std::string& line);

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_DEBUG_CHANNEL_H_
