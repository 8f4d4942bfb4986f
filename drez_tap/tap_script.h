// The tap's two objects, which stand between a host and a real script and
// pass everything through, recording it on the way when there is a
// recorder:
//   TapHost    the host object the real script is given: every command goes
//              to the real host, its result comes back unchanged (the very
//              reply pointers of the real host);
//   TapScript  the script object the host is given: every callback goes to
//              the real script, its result comes back unchanged (the very
//              reply pointers of the real script), and slot 0 destroys the
//              real script through its own slot 0, with the host's flags,
//              before it destroys itself.
// Both have the Microsoft layout of abi/ (they derive from its classes).
// TapCore makes them: the tap's export, and a benchmark's.
//
// Nothing is allocated on a call but the TapScript of an export.
//
// Exceptions: the tap throws none of its own. One that the real script
// lets out of a call (or the real host out of a command) passes on to the
// other side as without the tap, and the call is recorded as ended by it:
// natively the tap catches it on its way, records, and throws it on
// unchanged; on Windows its frames hold no handler at all, so that a
// structured exception (an access violation, a C++ exception of another
// compiler) reaches the host's own handler untouched, and the recorder
// recognises the call as ended when the host next calls (call_recorder.h).
// Threading: the host's one thread, as for any script.

#ifndef DREZ_TAP_TAP_SCRIPT_H_
#define DREZ_TAP_TAP_SCRIPT_H_

#include <cstdint>

#include "call_recorder.h"
#include "drez_client_callback.h"
#include "drez_client_host.h"
#include "drez_export.h"

namespace dreztap {

class TapHost : public drez_client_host {
 public:
  // Forwards to `real` (not owned; null when the host gave none).
  TapHost(drez_client_host* real, CallRecorder* recorder, int64_t script)
      : real_(real), recorder_(recorder), script_(script) {}

  void DREZ_THISCALL reserved() override;
  intptr_t DREZ_THISCALL command(const char* text, int kind) override;

 private:
  drez_client_host* real_;
  CallRecorder* recorder_;  // null: forwarding only
  int64_t script_;
};

class TapScript : public drez_client_callback {
 public:
  TapScript(drez_client_host* realHost, CallRecorder* recorder, int64_t script)
      : host_(realHost, recorder, script), recorder_(recorder), script_(script) {}
  TapScript(const TapScript&) = delete;
  TapScript& operator=(const TapScript&) = delete;

  // The host object to give the real script.
  drez_client_host* host() { return &host_; }
  // The real script, once the real export gave it (owned from then on).
  void adopt(drez_client_callback* real) { real_ = real; }

#if !DREZ_MSVC_ABI
  // Slot 0: the real script's slot 0 with the same `flags`, then this
  // object's own destruction, freeing it when bit 0 is set.
  void* DREZ_THISCALL scalarDeletingDestructor(unsigned int flags) override;
#endif
  const char* DREZ_THISCALL callback(void* data, int kind) override;

 protected:
  ~TapScript() override;

 private:
  void destroyReal(unsigned int flags);

  TapHost host_;
  CallRecorder* recorder_;
  int64_t script_;
  drez_client_callback* real_ = nullptr;
};

// Makes tap objects around the scripts of a real export.
class TapCore {
 public:
  // `realExport` must not be null; `recorder` (not owned) may be.
  TapCore(load_drez_client_script_fn realExport, CallRecorder* recorder)
      : real_export_(realExport), recorder_(recorder) {}

  // What the tap's export does: the real export's script inside a
  // TapScript, or null where the real export gave null. When no TapScript
  // can be allocated, the real script itself, unrecorded.
  drez_client_callback* create(drez_client_host* host, const char* path);

 private:
  load_drez_client_script_fn real_export_;
  CallRecorder* recorder_;
  int64_t last_script_ = 0;
};

}  // namespace dreztap

#endif  // DREZ_TAP_TAP_SCRIPT_H_
