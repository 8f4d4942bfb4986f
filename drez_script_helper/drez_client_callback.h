// The script as the host sees it: one interface, reached through `callback`.

#ifndef DREZ_SCRIPT_HELPER_DREZ_CLIENT_CALLBACK_H_
#define DREZ_SCRIPT_HELPER_DREZ_CLIENT_CALLBACK_H_

// Kinds of drez_client_callback::callback, and what `data` carries for each.
enum {
  CB_DEVICE_UPDATE = 1,  // data: const DeviceUpdate*
  CB_CONTROL_EVENT = 2,  // data: const ControlEvent*
  CB_HOST_REQUEST = 3,   // data: NUL-terminated request text, may be null
  CB_EVENT_ID = 4,       // data: the event id itself, as a pointer-sized integer
  CB_RELEASE_REPLY = 5,  // data: a reply an earlier CB_HOST_REQUEST returned, or null
  CB_NOTIFY6 = 6,        // data: opaque value of the host's
  CB_NOTIFY7 = 7,        // data: opaque value of the host's
};

// Virtual table layout, fixed for hosts: slot 0 the destructor, slot 1
// `callback`. A pointer to a script, to its drez_script_helper base and to
// this interface is the same address.
//
// Threading: the host makes its calls of the export, `callback` and the
// destructor one at a time per script object, on its own thread.
class drez_client_callback {
 public:
  // The host destroys a script with `delete` through this interface.
  virtual ~drez_client_callback() = default;

  // The host's one way into the script. Returns null, except for a
  // CB_HOST_REQUEST with a non-empty reply: then a NUL-terminated block that
  // the script allocated and the host must hand back once, unchanged, with
  // CB_RELEASE_REPLY. Kinds outside 1 to 7 do nothing and return null.
  virtual const char* callback(void* data, int kind) = 0;
};

#endif  // DREZ_SCRIPT_HELPER_DREZ_CLIENT_CALLBACK_H_
