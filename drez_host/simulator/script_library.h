// Loads a panel script library and finds its export, load_drez_client_script:
// dlopen/dlsym on POSIX systems, LoadLibraryA/GetProcAddress on Windows. The
// simulator's only platform-specific code lives in script_library.cpp.

#ifndef DREZ_HOST_SIMULATOR_SCRIPT_LIBRARY_H_
#define DREZ_HOST_SIMULATOR_SCRIPT_LIBRARY_H_

#include <stdexcept>
#include <string>

#include "drez_export.h"

namespace drezhost {

class LibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ScriptLibrary {
 public:
  // Loads the library at `path`. Throws LibraryError, with a message that
  // names the path, when it does not exist, does not load or has no export.
  explicit ScriptLibrary(const std::string& path);
  // Unloads the library: delete its scripts first.
  ~ScriptLibrary();
  ScriptLibrary(const ScriptLibrary&) = delete;
  ScriptLibrary& operator=(const ScriptLibrary&) = delete;

  load_drez_client_script_fn entry() const { return entry_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  void* handle_ = nullptr;
  load_drez_client_script_fn entry_ = nullptr;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_SCRIPT_LIBRARY_H_
