// The panel script framework. Including this header gives a panel everything
// it builds on: the host object, the string component, the records and views,
// the reply tokenizer, the base class drez_script_helper with its command
// vocabulary, and the declaration of the export every panel library defines.
//
// Threading: a script runs only on the host's thread, inside the export,
// `callback` and its destructor; it starts no thread and takes no lock.

#ifndef DREZ_SCRIPT_HELPER_DREZ_SCRIPT_HELPER_H_
#define DREZ_SCRIPT_HELPER_DREZ_SCRIPT_HELPER_H_

#include <cstdint>

#include "decode_drez_string.h"
#include "drez_client_callback.h"
#include "drez_client_host.h"
#include "drez_config.h"
#include "drez_string.h"
#include "records.h"
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
// Operations that build text throw std::bad_alloc when memory runs out;
// nothing is caught, and a reply already received is released first.
class drez_script_helper : public drez_client_callback {
 public:
  // Keeps `host` (may be null; never deleted) and a copy of `path` (may be
  // null, meaning empty), which loadPanel puts in front of panel file names.
  drez_script_helper(drez_client_host* host, const char* path);
  // Sends "AS" when there is a host, after everything the derived script's
  // destructor sent.
  ~drez_script_helper() override;
  drez_script_helper(const drez_script_helper&) = delete;
  drez_script_helper& operator=(const drez_script_helper&) = delete;

  // Dispatches one host call (see drez_client_callback) to a handler:
  //   CB_DEVICE_UPDATE -> onDeviceUpdate, CB_CONTROL_EVENT -> onControlEvent
  //   (through the alarm pre-check while alarmsEnabled), CB_HOST_REQUEST ->
  //   onHostRequest, CB_EVENT_ID -> onEventId, CB_NOTIFY6 -> onNotify6,
  //   CB_NOTIFY7 -> onNotify7. CB_RELEASE_REPLY frees a reply block.
  // A null record with CB_DEVICE_UPDATE or CB_CONTROL_EVENT is no event: no
  // handler runs. An exception from a handler passes out to the caller after
  // this call's temporaries are released; no reply block is made then.
  const char* callback(void* data, int kind) override;

  // "PS '<panel>' '<path>/<file>'" ("PS '<panel>' '<file>'" when the path is
  // empty), then " '<extra>'" when `extra` is not empty. Returns true when
  // the host's result is non-zero, and true when there is no host.
  bool loadPanel(const drez_string& panel, const drez_string& file, const drez_string& extra);

  // "TP '<property>=<value>' '<panel>' '<control>'".
  void setControlProperty(const drez_string& property, const drez_string& value,
                          const drez_string& panel, const drez_string& control);

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

  // Fills the placeholders "%1" to "%9" of `format` with the values in order
  // (in one pass: text inside a value is never taken for a placeholder) and
  // writes the result to the debug output, without adding a line end.
  void debugMessage(const drez_string& format, const drez_string& v1, const drez_string& v2,
                    const drez_string& v3, const drez_string& v4, const drez_string& v5,
                    const drez_string& v6, const drez_string& v7, const drez_string& v8,
                    const drez_string& v9);

  // Applies an action to every alarm control ("alm_" ids) of panel "1":
  // writes `text` to each one's "alarm" property, then sets its "value":
  // for "ack" (or "4") to 4 where the current value is not 0, 2, 3, 4 or 5;
  // for any other one-character text to that text's number; not at all for
  // longer or empty text. All commands of one control go before the next's.
  void alarmAction(const drez_string& text);

 protected:
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
  bool alarmsEnabled;      // control events pass the alarm pre-check first

 private:
  const char* answerHostRequest(const char* text);
  void alarmPreCheck(ControlEventView* event);
  intptr_t execute(const char* text);
  void release(intptr_t reply);
};

// Text of the framework's signature record: plain data nothing reads.
extern const char drez_script_helper_signature[];

// The export every panel library defines: creates the library's script for
// `host` (may be null) and `path` (may be null), or returns null when it
// cannot be created. The host owns the result and destroys it with `delete`
// through drez_client_callback. Called on the host's thread.
#if defined(DREZ_PANEL_SCRIPT_BUILD)
#if defined(_WIN32)
#define DREZ_PANEL_EXPORT __declspec(dllexport)
#else
#define DREZ_PANEL_EXPORT __attribute__((visibility("default")))
#endif
#else
#define DREZ_PANEL_EXPORT
#endif
extern "C" DREZ_PANEL_EXPORT drez_client_callback* load_drez_client_script(drez_client_host* host,
                                                                           const char* path);

// The export's type, for hosts that look it up in a loaded library.
using load_drez_client_script_fn = drez_client_callback* (*)(drez_client_host*, const char*);

#endif  // DREZ_SCRIPT_HELPER_DREZ_SCRIPT_HELPER_H_
