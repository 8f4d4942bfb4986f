// Which panel library drez-host loads. One rule, the first that applies:
//   1. the path given with --script;
//   2. the environment variable DREZ_HOST_SCRIPT, when it is set and not empty;
//   3. the default panel library, whose file name the build sets
//      (DREZ_HOST_DEFAULT_SCRIPT: libVantrel.so, or Vantrel.dll on Windows),
//      beside drez-host, or in ../lib from drez-host's directory (an
//      installed drez-host).

#ifndef DREZ_HOST_JOBS_PANEL_LIBRARY_H_
#define DREZ_HOST_JOBS_PANEL_LIBRARY_H_

#include <optional>
#include <string>

namespace drezhost {

// The path of the panel library to load by the rule above. `option` is the
// --script value, if one was given. Throws LibraryError (script_library.h)
// for an empty --script value, and, when no rule names a library, with a
// message that says how to name one.
std::string choosePanelLibrary(const std::optional<std::string>& option);

}  // namespace drezhost

#endif  // DREZ_HOST_JOBS_PANEL_LIBRARY_H_
