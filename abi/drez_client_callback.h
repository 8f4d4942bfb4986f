// The script object as the host sees it, the kinds of its one entry, and the
// one way a host destroys it.
//
// Virtual table (Microsoft's layout, which every compiler of ours matches):
//   slot 0  the scalar deleting destructor: void* (unsigned int flags)
//           Runs the script's whole destructor chain (the panel's own
//           teardown, then the framework's "AS"); when bit 0 of `flags` is
//           set, frees the object with the script library's own operator
//           delete. Returns the object's address. The host calls it with
//           flags 1, through `delete` or drez_delete_script.
//   slot 1  callback(data, kind)
// Both are thiscall on 32-bit x86: `this` in ECX, the arguments on the stack
// from right to left, and the callee pops them.
//
// Under Microsoft's ABI, slot 0 is simply the virtual destructor. Under the
// Itanium ABI (g++, MinGW, clang elsewhere) a virtual destructor takes two
// slots, so slot 0 is an ordinary operation of that shape, and the real
// virtual destructor stands behind `callback`, where no host looks.
//
// A host never uses RTTI on a script (no dynamic_cast, no typeid): the two
// ABIs keep different type information in front of the virtual table. A
// pointer to a script is the address of this interface.
//
// Ownership: the export creates the object; the host owns it until it
// destroys it through slot 0. What crosses in `callback` is described with
// the kinds below.
// Threading: the host calls the export, `callback` and slot 0 one at a time
// per script object, on its own thread.

#ifndef DREZ_ABI_DREZ_CLIENT_CALLBACK_H_
#define DREZ_ABI_DREZ_CLIENT_CALLBACK_H_

#include "drez_abi.h"

// Kinds of drez_client_callback::callback: what `data` carries for each, and
// what the call returns.
enum {
  // data: const DeviceUpdate*, the host's, read during the call only. Returns null.
  CB_DEVICE_UPDATE = 1,
  // data: const ControlEvent*, the host's, read during the call only. Returns null.
  CB_CONTROL_EVENT = 2,
  // data: NUL-terminated request text, the host's; may be null. Returns null
  // for no reply, or a NUL-terminated reply that the script allocated and the
  // host hands back once, unchanged, with CB_RELEASE_REPLY.
  CB_HOST_REQUEST = 3,
  // data: the event id itself, as a pointer-sized integer. Returns null.
  CB_EVENT_ID = 4,
  // data: a reply an earlier CB_HOST_REQUEST returned, or null; the script
  // frees it. Returns null.
  CB_RELEASE_REPLY = 5,
  // data: an opaque value of the host's. Returns null.
  CB_NOTIFY6 = 6,
  // data: an opaque value of the host's. Returns null.
  CB_NOTIFY7 = 7,
};

class drez_client_callback {
 public:
#if DREZ_MSVC_ABI
  // Slot 0: the scalar deleting destructor.
  virtual ~drez_client_callback() {}
#else
  // Slot 0, in the shape of the scalar deleting destructor.
  virtual void* DREZ_THISCALL scalarDeletingDestructor(unsigned int flags) {
    void* const address = this;
    if ((flags & 1u) != 0) {
      delete this;
    } else {
      this->~drez_client_callback();
    }
    return address;
  }
#endif

  // Slot 1: the host's one way into the script, for every kind above; kinds
  // outside 1 to 7 do nothing and return null. It must not throw: an
  // exception cannot cross into the host (a 32-bit MinGW DLL cannot unwind
  // into its caller, and a host built by another compiler could not catch it).
  virtual const char* DREZ_THISCALL callback(void* data, int kind) = 0;

#if !DREZ_MSVC_ABI
 protected:
  // Behind `callback`, out of the hosts' sight; protected, so that C++ code
  // destroys a script only through slot 0 (drez_delete_script).
  virtual ~drez_client_callback() {}
#endif
};

// Destroys `script` exactly as the studio's host does: through slot 0 with
// flags 1. `script` may be null. Call it on the host's thread, never from
// inside the script's own calls.
inline void drez_delete_script(drez_client_callback* script) {
  if (script == nullptr) return;
#if DREZ_MSVC_ABI
  delete script;
#else
  script->scalarDeletingDestructor(1u);
#endif
}

// A deleter for owning pointers, such as
// std::unique_ptr<drez_client_callback, drez_script_deleter>.
struct drez_script_deleter {
  void operator()(drez_client_callback* script) const { drez_delete_script(script); }
};

#endif  // DREZ_ABI_DREZ_CLIENT_CALLBACK_H_
