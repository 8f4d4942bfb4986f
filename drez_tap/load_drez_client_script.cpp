// The tap library's one export. The session lives as long as this copy of
// the library is loaded.

#include "drez_export.h"
#include "tap_session.h"

namespace {

dreztap::TapSession session;

}  // namespace

extern "C" DREZ_PANEL_EXPORT drez_client_callback* DREZ_CDECL
load_drez_client_script(drez_client_host* host, const char* path) {
  return session.create(host, path);
}
