// The panel script framework. Including this header gives a panel everything
// it builds on: the binary contract (abi/), the string component, the views,
// the reply tokenizer, the base class drez_script_helper with its command
// vocabulary, the command texts a script builds beforehand or on the stack
// (command_text.h, numeric_command.h), and DREZ_PANEL_SCRIPT, which defines
// a library's export.
//
// Threading: a script runs only on the host's thread, inside the export,
// `callback` and its destructor; it starts no thread and takes no lock.

#ifndef DREZ_SCRIPT_HELPER_DREZ_SCRIPT_HELPER_H_
#define DREZ_SCRIPT_HELPER_DREZ_SCRIPT_HELPER_H_

#include <cstdint>
#include <new>

#include "command_text.h"
#include "decode_drez_string.h"
#include "drez_client_callback.h"
#include "drez_client_host.h"
#include "drez_config.h"
#include "drez_export.h"
#include "drez_records.h"
#include "drez_string.h"
#include "numeric_command.h"
#include "views.h"

// Base of every panel script. It keeps the link to the host, turns each host
// call into one handler call, and offers the commands a script acts with.
//
// Every command operation builds one command text and executes it with
// host->command(text, HOST_CMD_EXECUTE), synchronously. With a null host
// nothing is sent and each operation gives the result documented for it.
// Replies to "SD", "XI" and "TG" are copied and handed back to the host with
// HOST_CMD_RELEASE before the operation returns; no other result is released.
// Text operands are sent between single quotes, unchanged and unescaped.
// Numeric commands ("GS", "IR", ... "ET") and "AS" never allocate. "PS",
// "TP" and "TG" are built on the stack up to CommandText::kInlineLength
// characters and in one heap block past it; "SD" and "XI" always allocate.
// Operations that allocate throw std::bad_alloc when memory runs out; a
// reply already received is released first. `callback` catches whatever a
// handler throws, so nothing crosses into the host.
class drez_script_helper : public drez_client_callback {
 public:
  // Keeps `host` (may be null; never deleted) and a copy of `path` (may be
  // null, meaning empty), which loadPanel puts in front of panel file names.
  drez_script_helper(drez_client_host* host, const char* path);
  drez_script_helper(const drez_script_helper&) = delete;
  drez_script_helper& operator=(const drez_script_helper&) = delete;

#if !DREZ_MSVC_ABI
  // Slot 0, as the host destroys a script (drez_client_callback.h): from here
  // on the script takes no more events, then its destructor chain runs.
  void* DREZ_THISCALL scalarDeletingDestructor(unsigned int flags) override;
#endif

  // Dispatches one host call (see drez_client_callback) to a handler:
  //   CB_DEVICE_UPDATE -> onDeviceUpdate, CB_CONTROL_EVENT -> onControlEvent
  //   (through the alarm pre-check while alarmsEnabled, below),
  //   CB_HOST_REQUEST -> onHostRequest, CB_EVENT_ID -> onEventId, CB_NOTIFY6
  //   -> onNotify6, CB_NOTIFY7 -> onNotify7. CB_RELEASE_REPLY frees a reply
  //   block.
  // The alarm pre-check, while alarmsEnabled is true: a control event from
  // control id "ActionAll" whose command's name is "alarm" runs
  // alarmAction(<the command's value>); one from control id "AckAll",
  // whatever its command, runs alarmAction("4"), the acknowledgement. Both
  // are the framework's own and never reach onControlEvent; every other
  // control event (an "ActionAll" with another command too) does. The ids
  // and the name are compared exactly, case and all. With alarmsEnabled
  // false (as the constructor leaves it) every control event reaches
  // onControlEvent, "AckAll" and "ActionAll" included.
  // A null record with CB_DEVICE_UPDATE or CB_CONTROL_EVENT is no event: no
  // handler runs. A handler that throws (out of memory while building a
  // command) loses its event: the call's temporaries and any reply it held
  // are released, one line on the debug output names the kind, and the
  // result is null (for a request: as if there were no reply). The line
  // is exactly, and stays so, since hosts match it:
  //   drez_script_helper: callback of kind <n> failed (<what>); the event
  //   was dropped
  // on one line, ended by a line feed. Once the host has begun to destroy
  // the script, every call is ignored and returns null:
  // the host may deliver events from inside the teardown's own commands.
  const char* DREZ_THISCALL callback(void* data, int kind) override;

  // "PS '<panel>' '<path>/<file>'" ("PS '<panel>' '<file>'" when the path is
  // empty), then " '<extra>'" when `extra` is not empty. Returns true when
  // the host's result is non-zero, and true when there is no host.
  bool loadPanel(const drez_string& panel, const drez_string& file, const drez_string& extra);

  // "TP '<property>=<value>' '<panel>' '<control>'".
  void setControlProperty(const drez_string& property, const drez_string& value,
                          const drez_string& panel, const drez_string& control);
  // The text setControlProperty sends, built from pieces (literals, texts
  // or numbers, read in place), without sending it.
  static CommandText controlPropertyText(const CommandPiece& property, const CommandPiece& value,
                                         const CommandPiece& panel, const CommandPiece& control);

  // "TG '<panel>' '<control>' '<property>'". The reply is "<name>=<value>".
  // `result` becomes: the whole reply when `property` is "all"; the value
  // when the reply's name (its text before the first '=', or all of it) is
  // `property`, compared case-sensitively; otherwise empty text, and one
  // line on the debug output says which property came back. Empty text,
  // and no line, with no host or no reply.
  void getControlProperty(const drez_string& property, const drez_string& panel,
                          const drez_string& control, drez_string& result);

  // "SD '<name>'". The reply's first two tokens give the device number and
  // offset (text without digits gives 0). `device` and `offset` may be null;
  // each non-null one is set to 0 first, in every case. Returns true when the
  // host replied, false with no host or no reply.
  bool lookupDevice(drez_string name, int32_t* device, int32_t* offset);

  // "XI '<panel>' '<filter>'". Returns the reply's comma-separated control
  // ids in order; an empty list with no host or no reply.
  drez_stringlist listControls(const drez_string& panel, const drez_string& filter);

  // "GS <device> <index> <state> <flag>", flag 1 or 0.
  void setOutputState(int32_t device, uint8_t state, int32_t index, bool flag);
  // The text setOutputState sends, without sending it.
  static NumericCommand outputStateText(int32_t device, uint8_t state, int32_t index, bool flag);
  // "IR <device> <first> <last>", with " 'ADD'" appended when `add` is set.
  void registerInfodriver(int32_t device, int32_t first, int32_t last, bool add);
  // "IU <device>".
  void unregisterInfodriver(int32_t device);
  // "IP <device> <first> <last>".
  void pollInfodriver(int32_t device, int32_t first, int32_t last);
  // "RR <device> <first> <last>", with " 'ADD'" appended when `add` is set.
  void registerRouter(int32_t device, int32_t first, int32_t last, bool add);
  // "RU <device>".
  void unregisterRouter(int32_t device);
  // "RP <device> <first> <last>".
  void pollRouter(int32_t device, int32_t first, int32_t last);
  // "ET <id>".
  void endEvent(int32_t id);
  // "AS": the script lets go of the host. The destructor sends it.
  void detachFromHost();

  // Hands `text`, a complete command built beforehand, to the host with
  // HOST_CMD_EXECUTE exactly as it is; nothing with no host. For a script
  // that builds a command whose operands never change once (the text the
  // operations above send, from controlPropertyText or outputStateText) and
  // sends it on every event after, and for a command built from an event's
  // data with CommandText. `text` must not be null and stays the caller's:
  // the host reads it during the call only. The host's result is ignored and
  // never released, so the command must be one without a reply (not "SD",
  // "XI" or "TG"). Allocates nothing. Inline: it runs for every command of
  // every event.
  void sendCommand(const char* text) {
    if (host != nullptr) host->command(text, HOST_CMD_EXECUTE);
  }

  // Fills the placeholders "%1" to "%9" of `format` with the values in order
  // (in one pass: text inside a value is never taken for a placeholder) and
  // writes the result to the debug output, without adding a line end.
  void debugMessage(const drez_string& format, const drez_string& v1, const drez_string& v2,
                    const drez_string& v3, const drez_string& v4, const drez_string& v5,
                    const drez_string& v6, const drez_string& v7, const drez_string& v8,
                    const drez_string& v9);

  // Applies an action to every alarm control of panel "1", those whose ids
  // "XI '1' 'alm_'" lists, in its order: writes `text` to each one's
  // "alarm" property, then sets its "value": for "ack" (or "4") to 4 where
  // the current value ("TG", read first) is not 0, 2, 3, 4 or 5; for any
  // other one-character text to that text's number; not at all for longer
  // or empty text. All commands of one control go before the next's. The
  // alarm pre-check calls it; a script may call it itself as well.
  void alarmAction(const drez_string& text);

 protected:
  // Sends "AS" when there is a host, after everything the derived script's
  // destructor sent. Protected: the host destroys a script through slot 0.
  ~drez_script_helper() override;

  // Handlers; the dispatcher calls each one on the host's thread. The views
  // live for the call only.
  virtual void onControlEvent(ControlEventView* event) = 0;
  virtual void onDeviceUpdate(DeviceUpdateView* update) = 0;
  // Returns the reply to a property request; empty text for none.
  virtual drez_string onHostRequest(HostRequest* request) = 0;
  virtual void onNotify7(NotifyView* view);
  virtual void onEventId(int id) = 0;
  virtual void onNotify6(NotifyView* view);

  drez_client_host* host;  // not owned; may be null
  drez_string path;        // put in front of panel file names
  // Control events pass the alarm pre-check first (see callback). False
  // after construction; a script sets it, usually in its constructor.
  bool alarmsEnabled;

 private:
  const char* dispatch(void* data, int kind);
  const char* answerHostRequest(const char* text);
  void alarmPreCheck(ControlEventView* event);
  intptr_t execute(const char* text);
  void release(intptr_t reply);

  bool tearingDown = false;  // the host has begun to destroy the script
};

// Inline, so that literal pieces cost no length count: a router readout
// builds one on every event.
inline CommandText drez_script_helper::controlPropertyText(const CommandPiece& property,
                                                           const CommandPiece& value,
                                                           const CommandPiece& panel,
                                                           const CommandPiece& control) {
  return CommandText("TP '", property, "=", value, "' '", panel, "' '", control, "'");
}

// Text of the framework's signature record: plain data nothing reads.
extern const char drez_script_helper_signature[];

// Writes one line naming what failed to the debug output, without needing
// memory: for the export and `callback` when an exception stops them.
void drez_report_failure(const char* what);

// Creates a `Script` (constructed with `(host, path)`) as the export does:
// null when memory runs out or the constructor throws, which is reported on
// the debug output; nothing is thrown.
template <typename Script>
drez_client_callback* drez_create_script(drez_client_host* host, const char* path) {
  try {
    return new (std::nothrow) Script(host, path);
  } catch (...) {
    drez_report_failure("load_drez_client_script: the script could not start");
    return nullptr;
  }
}

// Defines the library's export, load_drez_client_script, for the panel
// class `Script`. Every panel library says this once, in one source file:
//   DREZ_PANEL_SCRIPT(Vantrel)
#define DREZ_PANEL_SCRIPT(Script)                                                        \
  extern "C" DREZ_PANEL_EXPORT drez_client_callback* DREZ_CDECL load_drez_client_script( \
      drez_client_host* host, const char* path) {                                        \
    return drez_create_script<Script>(host, path);                                       \
  }

#endif  // DREZ_SCRIPT_HELPER_DREZ_SCRIPT_HELPER_H_
