#include "tap_platform.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace dreztap {

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
std::string windowsError(DWORD code) { return "Windows error " + std::to_string(code); }
#endif

// Numbered names for a capture that exists: "c.txt" -> "c.1.txt".
fs::path numberedName(const fs::path& wanted, int number) {
  if (number == 0) return wanted;
  fs::path name = wanted;
  name.replace_filename(wanted.stem().native() + fs::path("." + std::to_string(number)).native() +
                        wanted.extension().native());
  return name;
}

}  // namespace

std::string displayPath(const fs::path& path) {
  // C++17: u8string() is a std::string.
  return path.u8string();
}

fs::path configuredPath(const std::string& value, const fs::path& folder) {
  const fs::path path = fs::u8path(value);
  return path.is_absolute() ? path : folder / path;
}

bool readWholeFile(const fs::path& path, std::string* contents, std::string* error) {
  std::error_code code;
  if (!fs::is_regular_file(path, code)) {
    *error = fs::exists(path, code) ? "not a file" : "no such file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot be opened";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  *contents = text.str();
  return true;
}

#if defined(_WIN32)

fs::path ownLibraryPath(std::string* error) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ownLibraryPath), &module)) {
    *error = windowsError(GetLastError());
    return fs::path();
  }
  std::vector<wchar_t> name(MAX_PATH);
  while (true) {
    const DWORD length = GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) {
      *error = windowsError(GetLastError());
      return fs::path();
    }
    if (length < name.size()) return fs::path(std::wstring(name.data(), length));
    if (name.size() >= 32768) {
      *error = "the tap's path is too long";
      return fs::path();
    }
    name.resize(name.size() * 2);
  }
}

LoadedLibrary::~LoadedLibrary() {
  // Not freed: FreeLibrary from inside the tap's own unloading (DllMain)
  // is not safe. The library goes with the process.
}

bool LoadedLibrary::load(const fs::path& path, std::string* error) {
  HMODULE module = LoadLibraryW(path.c_str());
  if (module == nullptr) {
    *error = windowsError(GetLastError());
    return false;
  }
  handle_ = module;
  return true;
}

load_drez_client_script_fn LoadedLibrary::exportedEntry() const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<load_drez_client_script_fn>(reinterpret_cast<void*>(
      GetProcAddress(static_cast<HMODULE>(handle_), "load_drez_client_script")));
}

bool CaptureFile::create(const fs::path& wanted, fs::path* actual, std::string* error) {
  for (int number = 0; number < 1000; ++number) {
    const fs::path name = numberedName(wanted, number);
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      handle_ = file;
      *actual = name;
      return true;
    }
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
      *error = windowsError(code);
      return false;
    }
  }
  *error = "it and its numbered names up to 999 exist";
  return false;
}

bool CaptureFile::write(const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD now = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (handle_ == nullptr || !WriteFile(handle_, data, now, &written, nullptr) || written == 0) {
      std::snprintf(last_error_, sizeof last_error_, "Windows error %lu",
                    static_cast<unsigned long>(GetLastError()));
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

void CaptureFile::close() {
  if (handle_ != nullptr) CloseHandle(handle_);
  handle_ = nullptr;
}

uint64_t processId() { return GetCurrentProcessId(); }

#else

fs::path ownLibraryPath(std::string* error) {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&ownLibraryPath), &info) == 0 || info.dli_fname == nullptr ||
      info.dli_fname[0] == '\0') {
    *error = "dladdr does not know the tap's file";
    return fs::path();
  }
  std::error_code code;
  const fs::path absolute = fs::absolute(info.dli_fname, code);
  return code ? fs::path(info.dli_fname) : absolute;
}

LoadedLibrary::~LoadedLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

bool LoadedLibrary::load(const fs::path& path, std::string* error) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    *error = why != nullptr ? why : "unknown error";
    return false;
  }
  return true;
}

load_drez_client_script_fn LoadedLibrary::exportedEntry() const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<load_drez_client_script_fn>(dlsym(handle_, "load_drez_client_script"));
}

bool CaptureFile::create(const fs::path& wanted, fs::path* actual, std::string* error) {
  for (int number = 0; number < 1000; ++number) {
    const fs::path name = numberedName(wanted, number);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      fd_ = fd;
      *actual = name;
      return true;
    }
    if (errno != EEXIST) {
      *error = std::strerror(errno);
      return false;
    }
  }
  *error = "it and its numbered names up to 999 exist";
  return false;
}

bool CaptureFile::write(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t now = fd_ >= 0 ? ::write(fd_, data, size) : -1;
    if (now < 0 && errno == EINTR) continue;
    if (now <= 0) {
      const int code = now == 0 ? ENOSPC : errno;
      std::snprintf(last_error_, sizeof last_error_, "%s", std::strerror(code));
      return false;
    }
    data += now;
    size -= static_cast<std::size_t>(now);
  }
  return true;
}

void CaptureFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

uint64_t processId() { return static_cast<uint64_t>(getpid()); }

#endif

CaptureFile::~CaptureFile() { close(); }

std::string startTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

uint64_t steadyMilliseconds() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace dreztap
