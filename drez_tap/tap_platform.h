// What the tap needs from the operating system, in one place: its own file,
// loading the real library, the capture file, the process id and the clocks.
// POSIX (dladdr, dlopen, open/write) and Windows (GetModuleHandleExW,
// LoadLibraryW, CreateFileW/WriteFile); paths in UTF-8 on both.
//
// Threading: any thread; a CaptureFile one thread at a time.

#ifndef DREZ_TAP_TAP_PLATFORM_H_
#define DREZ_TAP_TAP_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "capture_writer.h"
#include "drez_export.h"

namespace dreztap {

// The path of the library file this code is in (the tap's own file, under
// whatever name it was given). Empty, with `*error` set, when unknown.
std::filesystem::path ownLibraryPath(std::string* error);

// A path as UTF-8 text, for lines and captures.
std::string displayPath(const std::filesystem::path& path);

// A configured path (UTF-8): itself when absolute, else inside `folder`.
std::filesystem::path configuredPath(const std::string& value, const std::filesystem::path& folder);

// The whole file at `path`; false with `*error` set when it cannot be read.
bool readWholeFile(const std::filesystem::path& path, std::string* contents, std::string* error);

// A loaded library, kept loaded until the object goes.
class LoadedLibrary {
 public:
  LoadedLibrary() = default;
  ~LoadedLibrary();
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  // Loads `path`; false with `*error` set (the loader's reason) when it
  // does not load.
  bool load(const std::filesystem::path& path, std::string* error);
  // Its load_drez_client_script, or null.
  load_drez_client_script_fn exportedEntry() const;

 private:
  void* handle_ = nullptr;
};

// A capture file, made new: it never replaces a file that exists.
class CaptureFile final : public drezcapture::CaptureSink {
 public:
  CaptureFile() = default;
  ~CaptureFile();
  CaptureFile(const CaptureFile&) = delete;
  CaptureFile& operator=(const CaptureFile&) = delete;

  // Creates `wanted`, or when it exists "<stem>.1<ext>", "<stem>.2<ext>",
  // ... up to 999; `*actual` is the one made. False with `*error` set when
  // none can be made.
  bool create(const std::filesystem::path& wanted, std::filesystem::path* actual,
              std::string* error);

  // Hands the bytes to the operating system; no buffering of its own.
  bool write(const char* data, std::size_t size) override;

  // Why the last write failed ("No space left on device", "Windows error
  // 112"); read only after a failure.
  const char* lastError() const { return last_error_; }

 private:
  void close();
#if defined(_WIN32)
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
  char last_error_[64] = {};
};

uint64_t processId();
// The local time now as "YYYYMMDD-HHMMSS".
std::string startTimeText();
// Milliseconds on a steady clock.
uint64_t steadyMilliseconds();

}  // namespace dreztap

#endif  // DREZ_TAP_TAP_PLATFORM_H_
