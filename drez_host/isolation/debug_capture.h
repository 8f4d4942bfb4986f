// Captures what a script writes on its debug channel, for the host to trace
// as debug lines (simulator/debug_channel.h): on POSIX systems its standard
// error (and, in a child process, its standard output: drez-host's child
// writes nothing there itself), on Windows what it hands OutputDebugStringA.
//
// In a child process the capture holds for the child's whole life, into a
// file the parent made (OutputFile), so that the parent can read what the
// child wrote last after it has died: the end of a crash report. In
// drez-host's own process (--no-isolate) it holds only while the host is in
// a call into a script, so that drez-host's own messages reach the terminal;
// when the process dies in such a call (a signal, a sanitizer's report),
// what was captured and not yet shown is written on the real standard error
// first.
//
// Threading: the host's.

#ifndef DREZ_HOST_ISOLATION_DEBUG_CAPTURE_H_
#define DREZ_HOST_ISOLATION_DEBUG_CAPTURE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "simulator/debug_channel.h"

namespace drezhost {

// Where a child's standard output and error go: made by the parent before
// the child starts, handed to it (inherited), and read by the parent after
// the child has died.
class OutputFile {
 public:
  // Null when this system offers no way to make one.
  static std::unique_ptr<OutputFile> create();
  virtual ~OutputFile() = default;
  // The system's handle of the file as a number (a descriptor on POSIX
  // systems, a HANDLE on Windows), as the child inherits it.
  virtual std::uint64_t handle() const = 0;
  // At most the last `bytes` of what was written, from the start of a line.
  virtual std::string tail(std::size_t bytes) const = 0;
};

class DebugCapture : public DebugChannel {
 public:
  // The longest line kept; the rest of a longer one is cut.
  static constexpr std::size_t kLineLimit = std::size_t{64} * 1024;

  // Starts capturing into a file of its own. Null when this system offers
  // no way to.
  static std::unique_ptr<DebugCapture> start(bool wholeProcess);
  // Starts capturing the whole process (a child) into the file whose handle
  // the parent's OutputFile gave; its own file when `file` is none.
  static std::unique_ptr<DebugCapture> into(std::optional<std::uint64_t> file);

  // The host begins and ends an outermost call into a script.
  virtual void callBegan() {}
  virtual void callEnded() {}
};

}  // namespace drezhost

#endif  // DREZ_HOST_ISOLATION_DEBUG_CAPTURE_H_
