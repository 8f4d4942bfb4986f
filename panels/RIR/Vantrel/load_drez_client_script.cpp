// The library's one export.

#include <new>

#include "Vantrel.h"

extern "C" DREZ_PANEL_EXPORT drez_client_callback* load_drez_client_script(drez_client_host* host,
                                                                           const char* path) {
  // No exception may cross into the host: a start-up that fails (out of
  // memory while building a command) has already undone itself, and the
  // nothrow allocation is given back when the constructor throws.
  try {
    return new (std::nothrow) Vantrel(host, path);
  } catch (...) {
    return nullptr;
  }
}
