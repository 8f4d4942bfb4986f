// Captures what a script writes on its debug channel, for the host to trace
// as debug lines (simulator/debug_channel.h): on POSIX systems its standard
// error (and, in a child process, its standard output: drez-host's child
// writes nothing there itself), on Windows what it hands OutputDebugStringA.
//
// In a child process the capture holds for the child's whole life. In
// drez-host's own process (--no-isolate) it holds only while the host is in
// a call into a script, so that drez-host's own messages reach the terminal.
//
// Threading: the host's.

#ifndef DREZ_HOST_ISOLATION_DEBUG_CAPTURE_H_
#define DREZ_HOST_ISOLATION_DEBUG_CAPTURE_H_

#include <memory>

#include "simulator/debug_channel.h"

namespace drezhost {

class DebugCapture : public DebugChannel {
 public:
  // The longest line kept; the rest of a longer one is cut.
  static constexpr std::size_t kLineLimit = std::size_t{64} * 1024;

  // Starts capturing. Null when this system offers no way to.
  static std::unique_ptr<DebugCapture> start(bool wholeProcess);

  // The host begins and ends an outermost call into a script.
  virtual void callBegan() {}
  virtual void callEnded() {}
};

}  // namespace drezhost

#endif  // DREZ_HOST_ISOLATION_DEBUG_CAPTURE_H_
