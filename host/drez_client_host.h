// The panel host as a script sees it: one object, given to the script at
// creation, that executes text commands and owns the replies it hands out.
//
// Threading: every call happens on the host's thread, inside the script's
// constructor, destructor or callback; the host accepts commands re-entrantly
// from inside its own callback call.

#ifndef DREZ_HOST_DREZ_CLIENT_HOST_H_
#define DREZ_HOST_DREZ_CLIENT_HOST_H_

#include <cstdint>

// Kinds of drez_client_host::command.
enum {
  // Execute the NUL-terminated command text.
  HOST_CMD_EXECUTE = 0,
  // Hand back a reply pointer that an earlier HOST_CMD_EXECUTE returned.
  HOST_CMD_RELEASE = 5,
};

// Owned by the host; a script keeps the pointer for its whole life and never
// deletes it. The virtual table layout is part of the binary contract with
// hosts built by other compilers: `reserved` is slot 0 and `command` slot 1.
// Neither a virtual destructor (two slots under the Itanium ABI) nor any other
// virtual operation may be added in front of `command`.
class drez_client_host {
 public:
  // Slot 0: belongs to the host; scripts never call it.
  virtual void reserved() {}

  // Slot 1. With HOST_CMD_EXECUTE, executes `text` (never null) and returns:
  //   for "SD", "XI" and "TG": a pointer to NUL-terminated reply text that the
  //     host owns, or 0 for no reply. The script copies the text and hands the
  //     very pointer back once with HOST_CMD_RELEASE before it does anything
  //     else with the host;
  //   for "PS": non-zero when the panel file was loaded;
  //   for anything else: a value the script ignores and never releases.
  // With HOST_CMD_RELEASE, `text` is such a reply pointer; the result is
  // ignored.
  // The result is pointer-sized, so a reply pointer survives on 64-bit hosts;
  // on the 32-bit hosts of the studio it is the 32-bit value hosts expect.
  virtual intptr_t command(const char* text, int kind) = 0;

 protected:
  // Not virtual on purpose (see above); scripts cannot delete a host.
  ~drez_client_host() = default;
};

#endif  // DREZ_HOST_DREZ_CLIENT_HOST_H_
