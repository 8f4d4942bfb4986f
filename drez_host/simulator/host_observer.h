// What a simulated host tells an observer as it works: the calls it makes
// into scripts, the commands scripts send, the updates it delivers and the
// triggers that fire. Coverage and the watchdog of an isolated run observe
// a host this way; the host works the same with no observer.
//
// Every operation is called on the host's thread, inside the host's own
// work; none may call back into the host (hostSettled() may read it).

#ifndef DREZ_HOST_SIMULATOR_HOST_OBSERVER_H_
#define DREZ_HOST_SIMULATOR_HOST_OBSERVER_H_

#include <cstdint>
#include <string>

#include "simulator/command_parser.h"

namespace drezhost {

struct Device;

// What a call of the host into a script is.
struct HostCall {
  enum class What { Export, Callback, Delete };
  What what = What::Callback;
  int kind = 0;  // the callback kind, for a callback

  static HostCall exporting() { return {What::Export, 0}; }
  static HostCall callback(int kind) { return {What::Callback, kind}; }
  static HostCall deleting() { return {What::Delete, 0}; }
};

class HostObserver {
 public:
  virtual ~HostObserver() = default;

  // The host is about to call into a script: `call` says which call, and
  // `context` is the trace's "#<entry> <what>".
  virtual void enteringCall(const HostCall& call, const std::string& context) = 0;
  // That call has returned.
  virtual void leftCall() = 0;
  // A script sent `text` with HOST_CMD_EXECUTE.
  virtual void commandSent(const std::string& text) = 0;
  // The host read that command as `command` (a command it cannot read is
  // not told again): its row of the vocabulary and its operands.
  virtual void commandRead(const HostCommand& command) { (void)command; }
  // The host delivers index `index` of `device` to a script.
  virtual void updateDelivered(const Device& device, int32_t index) = 0;
  // A control event from control `control` goes to a script.
  virtual void controlEventSent(const std::string& control) = 0;
  // The trigger waiting for `command` fired.
  virtual void triggerFired(const std::string& command) = 0;
  // The host's outermost call begins (`context` as for enteringCall): the
  // export, one delivery or event, or a deletion, with every call and
  // delivery nested in it and those deferred to its end. A watchdog times
  // this.
  virtual void outermostCallBegan(const std::string& context) { (void)context; }
  // That call and everything in it are done.
  virtual void outermostCallEnded() {}
  // The host's own operation (a script created or deleted, a call into a
  // script, a studio change delivered to every script registered for it)
  // is over: no call is open and nothing is on its way to any script. Here,
  // and only here, an observer may read the host's state
  // (SimulatedHost::deliveredStateBreaches()); it still may not call into it.
  virtual void hostSettled() {}
};

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_HOST_OBSERVER_H_
