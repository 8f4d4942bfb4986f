// What the tap needs from the operating system, in one place: its own file,
// loading the real library and telling what it is, the capture file, text
// in the ANSI code page, the process id and the clocks. POSIX (dladdr,
// dl_iterate_phdr, dlopen, mmap) and Windows (GetModuleHandleExW,
// LoadLibraryExW, CreateFileMappingW/MapViewOfFile); paths in UTF-8 on both.
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
// False, with `*error` set, when the text cannot be a path here.
bool configuredPath(const std::string& value, const std::filesystem::path& folder,
                    std::filesystem::path* path, std::string* error);

// The whole file at `path`; false with `*error` set when it cannot be read
// (or is no regular file: it is never opened then).
bool readWholeFile(const std::filesystem::path& path, std::string* contents, std::string* error);

// `text` in the ANSI code page, as UTF-8 (Windows); elsewhere the bytes as
// they are, since paths are bytes there. `*name` (may be null) gets what
// the text was read as: "in the ANSI code page 1252", "as bytes, unchanged".
std::string fromAnsiCodePage(const std::string& text, std::string* name);

// What the library that holds a loaded export is.
enum class LibraryKind {
  kThisTap,  // the very module this code is in, under whatever name
  kTap,      // another copy of a tap: it carries the tap's mark
  kPanel,    // anything else
};
// By the identity of the module in memory, never by a file name.
LibraryKind libraryKindOf(load_drez_client_script_fn entry);

// A loaded library, kept loaded until the object goes.
class LoadedLibrary {
 public:
  LoadedLibrary() = default;
  ~LoadedLibrary();
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  // Loads `path` (absolute) so that the libraries beside it are found for
  // it, as a host loading it there finds them; false with `*error` set
  // (the loader's reason) when it does not load.
  bool load(const std::filesystem::path& path, std::string* error);
  // Its load_drez_client_script, or null.
  load_drez_client_script_fn exportedEntry() const;

 private:
  void* handle_ = nullptr;
};

// A capture file, made new (it never replaces a file that exists), written
// through a shared mapping: what the writer puts in a window is the file's
// at once, and stays when the process dies. The file grows in steps of
// kStep, each allocated on the disk before it is mapped (so that a full
// disk is an error here, never a fault on a write), never past the
// writer's limit; trim cuts the unused rest at the end. A process that dies
// first leaves it as NUL bytes, which a reader passes over.
//
// Natively the file must not be cut shorter by another program while the
// host runs: a write into the mapping past its end would end the process.
class CaptureFile final : public drezcapture::CaptureSink {
 public:
  static constexpr uint64_t kStep = uint64_t{1} << 20;

  CaptureFile() = default;
  // Unmaps and closes; the file keeps its length unless trim ran.
  ~CaptureFile();
  CaptureFile(const CaptureFile&) = delete;
  CaptureFile& operator=(const CaptureFile&) = delete;

  // Creates `wanted`, its folder first when that is missing, or when it
  // exists "<stem>.1<ext>", "<stem>.2<ext>", ... up to 999; `*actual` is
  // the one made. False with `*error` set when none can be made.
  bool create(const std::filesystem::path& wanted, std::filesystem::path* actual,
              std::string* error);

  bool extend(uint64_t offset, std::size_t size, uint64_t limit, Window* window) override;
  bool trim(uint64_t size) override;
  const char* lastError() const override { return last_error_; }

 private:
  // Makes the file `size` bytes long, the new part allocated.
  bool grow(uint64_t size);
  void unmap();
  void close();
  void setError(const char* text);

#if defined(_WIN32)
  void* handle_ = nullptr;
  void* mapping_ = nullptr;
#else
  int fd_ = -1;
#endif
  void* view_ = nullptr;
  std::size_t view_size_ = 0;
  uint64_t file_size_ = 0;
  uint64_t granularity_ = 4096;  // mapping offsets are multiples of it
  bool small_steps_ = false;     // a full step could not be allocated
  char last_error_[64] = {};
};

uint64_t processId();
// The local time now as "YYYYMMDD-HHMMSS".
std::string startTimeText();
// Milliseconds on a steady clock.
uint64_t steadyMilliseconds();

}  // namespace dreztap

#endif  // DREZ_TAP_TAP_PLATFORM_H_
