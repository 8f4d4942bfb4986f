// The host object as a script sees it: given to the script at creation, it
// executes text commands and owns the replies it hands out.
//
// Virtual table (Microsoft's layout, which every compiler of ours matches):
//   slot 0  reserved()           the host's own; scripts never call it
//   slot 1  command(text, kind)  thiscall on 32-bit x86: `this` in ECX, `text`
//                                and `kind` on the stack, the callee pops them
// No virtual destructor and no other virtual operation may stand in front of
// `command`: a virtual destructor takes one slot under Microsoft's ABI and
// two under the Itanium ABI, which would move `command`.
//
// Ownership: the host owns the object. A script keeps the pointer from its
// construction to the end of its destruction and never deletes it.
// Threading: every call happens on the host's thread, inside the script's
// constructor, destructor or callback; the host accepts commands re-entrantly
// from inside its own call of `callback`.

#ifndef DREZ_ABI_DREZ_CLIENT_HOST_H_
#define DREZ_ABI_DREZ_CLIENT_HOST_H_

#include <stdint.h>

#include "drez_abi.h"

// Kinds of drez_client_host::command.
enum {
  // Execute the NUL-terminated command `text`.
  HOST_CMD_EXECUTE = 0,
  // `text` is a reply pointer that an earlier HOST_CMD_EXECUTE returned.
  HOST_CMD_RELEASE = 5,
};

class drez_client_host {
 public:
  // Slot 0: belongs to the host; scripts never call it.
  virtual void DREZ_THISCALL reserved() {}

  // Slot 1. With HOST_CMD_EXECUTE, executes `text` (never null) and returns:
  //   for "SD", "XI" and "TG": a pointer to NUL-terminated reply text that the
  //     host owns, or 0 for no reply. The script copies the text and hands
  //     the very pointer back once with HOST_CMD_RELEASE before the command
  //     operation that sent it returns. A 0 reply is never handed back;
  //   for "PS": non-zero when the panel file was loaded;
  //   for anything else: a value the script ignores and never hands back.
  // drez_commands.h gives every command's result as its row's `result`.
  // With HOST_CMD_RELEASE, `text` is such a reply pointer; the result is
  // ignored. The result is pointer-sized: 32 bits on the studio's 32-bit
  // hosts, and wide enough for a reply pointer on 64-bit ones.
  virtual intptr_t DREZ_THISCALL command(const char* text, int kind) = 0;

 protected:
  // Not virtual on purpose (see above); scripts cannot delete a host.
  ~drez_client_host() {}
};

#endif  // DREZ_ABI_DREZ_CLIENT_HOST_H_
