// The tap as the host's process knows it: one per loaded copy of the tap
// library. At the first export it finds its configuration beside its own
// file (its name with ".tap.ini" for the extension), loads the real panel
// library and opens the one capture file of the process; every export then
// goes through a TapCore.
//
// It never harms the host: without a configuration, a real library or its
// export, the host gets what the real library would give it (null where
// there is none), and one line on the debug channel says why. A real
// library that is this tap itself or another tap (by the module in memory,
// whatever the files are called) is refused the same way, before anything
// of it is called: taps in front of each other would call each other
// without end. An export entered again from inside its own real export,
// kMaxNestedExports deep, is a loop through a tap that carries no mark:
// refused too. A capture that cannot be made or written leaves the tap
// forwarding without recording, said once. Until a real library has
// loaded, each export tries again (the configuration may have been fixed
// in the meantime).
//
// Threading: the host's one thread, as for any script.

#ifndef DREZ_TAP_TAP_SESSION_H_
#define DREZ_TAP_TAP_SESSION_H_

#include <filesystem>
#include <memory>
#include <string>

#include "call_recorder.h"
#include "capture_writer.h"
#include "drez_export.h"
#include "tap_platform.h"
#include "tap_script.h"

namespace dreztap {

class TapSession {
 public:
  static constexpr int kMaxNestedExports = 8;

  TapSession() = default;
  // Closes the capture (trimmed to what was written; the calls an exception
  // ended unseen written as ended), then unloads the real library (not on
  // Windows: see LoadedLibrary).
  ~TapSession();
  TapSession(const TapSession&) = delete;
  TapSession& operator=(const TapSession&) = delete;

  // The export's work. Throws nothing of its own; what the real export
  // throws passes on (tap_script.h).
  drez_client_callback* create(drez_client_host* host, const char* path);

 private:
  // Reads the configuration and loads the real library; false, said on the
  // debug channel, when there is none to call. Never throws.
  bool prepare();
  bool loadRealLibrary();
  // The configuration file's text in UTF-8; false, said, when unreadable.
  bool readConfiguration(const std::filesystem::path& ini, std::string* text);
  // Opens the capture as the configuration says; said on the debug channel
  // either way.
  void openCapture(const std::string& pattern, uint64_t maxBytes);
  static void recordingStopped(void* context, drezcapture::CaptureWriter::StopReason reason,
                               const char* text);

  std::filesystem::path folder_;  // the tap's own folder
  std::string ini_name_;
  std::string library_name_;
  std::string capture_name_;
  std::unique_ptr<LoadedLibrary> library_;
  std::unique_ptr<CaptureFile> file_;
  std::unique_ptr<drezcapture::CaptureWriter> writer_;
  std::unique_ptr<CallRecorder> recorder_;
  std::unique_ptr<TapCore> core_;
  // Exports running inside each other, and where the outermost was entered.
  int exports_ = 0;
  CallRecorder::StackMark outermost_export_ = 0;
  bool loop_refused_ = false;  // inside the outermost export
};

}  // namespace dreztap

#endif  // DREZ_TAP_TAP_SESSION_H_
