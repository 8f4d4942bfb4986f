// A panel library whose export hands its call on to the export of the
// library already loaded from `path`, as a tap of another build, which
// carries no mark a tap knows, would when it stands in front of the tap
// that stands in front of it. Given the tap's own path, the tap's export is
// entered again from inside itself, without end unless the tap ends it.

#include "drez_export.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

extern "C" DREZ_PANEL_EXPORT drez_client_callback* DREZ_CDECL
load_drez_client_script(drez_client_host* host, const char* path) {
  if (path == nullptr) return nullptr;
#if defined(_WIN32)
  HMODULE library = GetModuleHandleA(path);
  // Through void*: FARPROC's own type fits no export's.
  const auto entry = library != nullptr
                         ? reinterpret_cast<load_drez_client_script_fn>(reinterpret_cast<void*>(
                               GetProcAddress(library, "load_drez_client_script")))
                         : nullptr;
  return entry != nullptr ? entry(host, path) : nullptr;
#else
  void* library = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  if (library == nullptr) return nullptr;
  const auto entry =
      reinterpret_cast<load_drez_client_script_fn>(dlsym(library, "load_drez_client_script"));
  drez_client_callback* const script = entry != nullptr ? entry(host, path) : nullptr;
  dlclose(library);
  return script;
#endif
}
