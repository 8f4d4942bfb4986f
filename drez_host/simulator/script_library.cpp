#include "simulator/script_library.h"

#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace drezhost {

namespace {

const char kExport[] = "load_drez_client_script";

#if defined(_WIN32)
void* openLibrary(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) error = "Windows error " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(module);
}

void* findSymbol(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void closeLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
#else
void* openLibrary(const std::string& path, std::string& error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    error = why != nullptr ? why : "unknown error";
  }
  return handle;
}

void* findSymbol(void* handle, const char* name) { return dlsym(handle, name); }

void closeLibrary(void* handle) { dlclose(handle); }
#endif

}  // namespace

ScriptLibrary::ScriptLibrary(const std::string& path) : path_(path) {
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(path, ignored)) {
    throw LibraryError("panel library '" + path + "' does not exist or is not a file");
  }
  // An absolute path keeps the loader from searching its own directories.
  const std::string absolute = std::filesystem::absolute(path, ignored).string();
  std::string error;
  handle_ = openLibrary(absolute.empty() ? path : absolute, error);
  if (handle_ == nullptr) throw LibraryError("cannot load panel library '" + path + "': " + error);
  entry_ = reinterpret_cast<load_drez_client_script_fn>(findSymbol(handle_, kExport));
  if (entry_ == nullptr) {
    closeLibrary(handle_);
    throw LibraryError("panel library '" + path + "' does not export " + kExport);
  }
}

ScriptLibrary::~ScriptLibrary() { closeLibrary(handle_); }

}  // namespace drezhost
