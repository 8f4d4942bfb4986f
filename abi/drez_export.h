// The one function a panel library exports, under its plain, unmangled name.
//
//   drez_client_callback* load_drez_client_script(drez_client_host* host,
//                                                 const char* path)
//
// Creates the library's script for `host` (may be null: the script then
// sends nothing) and `path` (may be null, meaning empty; the script copies
// it). Returns the new script, which the host owns and destroys through slot
// 0 (drez_delete_script), or null when it cannot be created. Never throws.
// A C function: cdecl on 32-bit x86, the caller pops the arguments.
// Threading: called on the host's thread; the script may already send
// commands to `host` from inside it, but the host cannot reach the script
// before it returns.

#ifndef DREZ_ABI_DREZ_EXPORT_H_
#define DREZ_ABI_DREZ_EXPORT_H_

#include "drez_abi.h"
#include "drez_client_callback.h"
#include "drez_client_host.h"

// What a panel library's sources put in front of the export's definition:
// exported from the library, every other symbol of which stays hidden. It
// needs no define of its own, so a library compiled by hand (cl, clang-cl,
// g++ with -fvisibility=hidden) exports the function as one built with
// drez_add_panel_script does. Where the declaration is only read (a host, a
// test) it has no effect: a declaration exports nothing that the program
// does not define.
#if defined(_WIN32)
#define DREZ_PANEL_EXPORT __declspec(dllexport)
#else
#define DREZ_PANEL_EXPORT __attribute__((visibility("default")))
#endif

extern "C" DREZ_PANEL_EXPORT drez_client_callback* DREZ_CDECL
load_drez_client_script(drez_client_host* host, const char* path);

// The export's type, for hosts that look it up in a loaded library.
typedef drez_client_callback*(DREZ_CDECL* load_drez_client_script_fn)(drez_client_host* host,
                                                                      const char* path);

#endif  // DREZ_ABI_DREZ_EXPORT_H_
