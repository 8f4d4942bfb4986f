#include "tap_platform.h"

#include <algorithm>
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
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace dreztap {

namespace fs = std::filesystem;

namespace {

// The tap's mark: what tells a tap library from a panel library in memory,
// whatever its file is called. Kept where the loader maps it and a reader
// of the module finds it: a section of its own in a Windows DLL, a note in
// an ELF library.
constexpr char kMarkText[] = "drez_tap: a panel library that records";
constexpr std::size_t kMarkSize = sizeof kMarkText;

#if defined(_WIN32)
constexpr char kMarkSection[IMAGE_SIZEOF_SHORT_NAME + 1] = ".dreztap";
__attribute__((section(".dreztap"), used)) const char kTapMark[kMarkSize] =
    "drez_tap: a panel library that records";
#else
constexpr char kNoteName[] = "drez_tap";
struct TapNote {
  uint32_t nameSize;
  uint32_t descriptionSize;
  uint32_t type;
  char name[12];  // "drez_tap" and its NUL, padded to 4 bytes
  char description[(kMarkSize + 3) / 4 * 4];
};
__attribute__((section(".note.drez_tap"), used, aligned(4)))
const TapNote kTapNote = {sizeof kNoteName, sizeof(TapNote::description), 1, "drez_tap",
                          "drez_tap: a panel library that records"};
#endif

#if defined(_WIN32)
std::string windowsError(DWORD code) { return "Windows error " + std::to_string(code); }
#endif

// Makes the folder `file` is to be in, when it is missing.
bool makeFolderOf(const fs::path& file, std::string* error) {
  const fs::path folder = file.parent_path();
  std::error_code code;
  if (folder.empty() || fs::is_directory(folder, code)) return true;
  fs::create_directories(folder, code);
  if (!code) return true;
  *error = "cannot make its folder: " + code.message();
  return false;
}

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

bool configuredPath(const std::string& value, const fs::path& folder, fs::path* path,
                    std::string* error) {
  try {
    const fs::path given = fs::u8path(value);
    *path = given.is_absolute() ? given : folder / given;
    return true;
  } catch (const std::exception&) {
    *error = "not a path in UTF-8";
    return false;
  }
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

std::string fromAnsiCodePage(const std::string& text, std::string* name) {
  if (name != nullptr) *name = "in the ANSI code page " + std::to_string(GetACP());
  if (text.empty()) return text;
  const int wide_length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (wide_length <= 0) return text;
  std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                      wide_length);
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return text;
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

namespace {

HMODULE moduleOf(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(address), &module)) {
    return nullptr;
  }
  return module;
}

// Whether the module's section table holds the tap's mark.
bool carriesMark(HMODULE module) {
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
  const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (headers->Signature != IMAGE_NT_SIGNATURE) return false;
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
  for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
    if (std::memcmp(section->Name, kMarkSection, IMAGE_SIZEOF_SHORT_NAME) == 0 &&
        section->Misc.VirtualSize >= kMarkSize &&
        std::memcmp(base + section->VirtualAddress, kMarkText, kMarkSize) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

LibraryKind libraryKindOf(load_drez_client_script_fn entry) {
  const HMODULE module = moduleOf(reinterpret_cast<const void*>(entry));
  if (module == nullptr) return LibraryKind::kPanel;
  if (module == moduleOf(reinterpret_cast<const void*>(&libraryKindOf))) {
    return LibraryKind::kThisTap;
  }
  return carriesMark(module) ? LibraryKind::kTap : LibraryKind::kPanel;
}

fs::path ownLibraryPath(std::string* error) {
  const HMODULE module = moduleOf(reinterpret_cast<const void*>(&ownLibraryPath));
  if (module == nullptr) {
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
  // The library's own folder is searched for its dependencies, as for a
  // host that loads it there by its full path.
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
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
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  granularity_ = system.dwAllocationGranularity;
  if (!makeFolderOf(wanted, error)) return false;
  for (int number = 0; number < 1000; ++number) {
    const fs::path name = numberedName(wanted, number);
    // Read and write: a mapping to write through needs both.
    HANDLE file =
        CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
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

bool CaptureFile::grow(uint64_t size) {
  unmap();
  if (mapping_ != nullptr) CloseHandle(mapping_);
  // A mapping longer than the file makes the file that long.
  mapping_ = CreateFileMappingW(handle_, nullptr, PAGE_READWRITE, static_cast<DWORD>(size >> 32),
                                static_cast<DWORD>(size & 0xFFFFFFFFu), nullptr);
  if (mapping_ == nullptr) {
    setError(windowsError(GetLastError()).c_str());
    return false;
  }
  file_size_ = size;
  return true;
}

bool CaptureFile::extend(uint64_t offset, std::size_t size, uint64_t limit, Window* window) {
  const uint64_t want = offset + size;
  if (handle_ == nullptr || want > limit) {
    setError("no room left under the limit");
    return false;
  }
  if (want > file_size_ || mapping_ == nullptr) {
    const uint64_t step = small_steps_ ? want : std::max(want, file_size_ + kStep);
    if (!grow(std::min(step, limit))) {
      if (std::min(step, limit) == want) return false;
      small_steps_ = true;
      if (!grow(want)) return false;
    }
  }
  unmap();
  const uint64_t start = offset - offset % granularity_;
  const uint64_t length = file_size_ - start;
  if (length > SIZE_MAX) {
    setError("the capture's window is too large");
    return false;
  }
  view_ = MapViewOfFile(mapping_, FILE_MAP_WRITE, static_cast<DWORD>(start >> 32),
                        static_cast<DWORD>(start & 0xFFFFFFFFu), static_cast<SIZE_T>(length));
  if (view_ == nullptr) {
    setError(windowsError(GetLastError()).c_str());
    return false;
  }
  view_size_ = static_cast<std::size_t>(length);
  window->data = static_cast<char*>(view_) + (offset - start);
  window->offset = offset;
  window->size = static_cast<std::size_t>(file_size_ - offset);
  return true;
}

bool CaptureFile::trim(uint64_t size) {
  unmap();
  if (mapping_ != nullptr) CloseHandle(mapping_);
  mapping_ = nullptr;
  if (handle_ == nullptr) return false;
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(handle_, end, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_)) {
    setError(windowsError(GetLastError()).c_str());
    return false;
  }
  file_size_ = size;
  return true;
}

void CaptureFile::unmap() {
  if (view_ != nullptr) UnmapViewOfFile(view_);
  view_ = nullptr;
  view_size_ = 0;
}

void CaptureFile::close() {
  unmap();
  if (mapping_ != nullptr) CloseHandle(mapping_);
  mapping_ = nullptr;
  if (handle_ != nullptr) CloseHandle(handle_);
  handle_ = nullptr;
}

uint64_t processId() { return GetCurrentProcessId(); }

#else

std::string fromAnsiCodePage(const std::string& text, std::string* name) {
  if (name != nullptr) *name = "as bytes, unchanged";
  return text;
}

namespace {

// Finds the module that holds `address` among those loaded and whether one
// of its notes is the tap's mark.
struct MarkSearch {
  uintptr_t address = 0;
  bool marked = false;
};

bool notesCarryMark(const unsigned char* notes, std::size_t size, std::size_t align) {
  const auto padded = [align](std::size_t length) { return (length + align - 1) / align * align; };
  std::size_t at = 0;
  while (size - at >= sizeof(ElfW(Nhdr))) {
    ElfW(Nhdr) header;
    std::memcpy(&header, notes + at, sizeof header);
    const std::size_t name_at = at + sizeof header;
    const std::size_t description_at = name_at + padded(header.n_namesz);
    const std::size_t next = description_at + padded(header.n_descsz);
    if (next > size || next <= at) return false;
    if (header.n_namesz == sizeof kNoteName &&
        std::memcmp(notes + name_at, kNoteName, sizeof kNoteName) == 0 &&
        header.n_descsz >= kMarkSize &&
        std::memcmp(notes + description_at, kMarkText, kMarkSize) == 0) {
      return true;
    }
    at = next;
  }
  return false;
}

int visitModule(dl_phdr_info* info, std::size_t, void* context) {
  MarkSearch& search = *static_cast<MarkSearch*>(context);
  bool inside = false;
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    const uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
    if (segment.p_type == PT_LOAD && search.address >= begin &&
        search.address - begin < segment.p_memsz) {
      inside = true;
    }
  }
  if (!inside) return 0;
  for (ElfW(Half) i = 0; i < info->dlpi_phnum && !search.marked; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_NOTE) continue;
    search.marked =
        notesCarryMark(reinterpret_cast<const unsigned char*>(info->dlpi_addr + segment.p_vaddr),
                       segment.p_filesz, segment.p_align >= 8 ? 8 : 4);
  }
  return 1;
}

const void* moduleBase(const void* address) {
  Dl_info info;
  if (dladdr(address, &info) == 0) return nullptr;
  return info.dli_fbase;
}

}  // namespace

LibraryKind libraryKindOf(load_drez_client_script_fn entry) {
  const void* address = reinterpret_cast<const void*>(entry);
  const void* base = moduleBase(address);
  if (base != nullptr && base == moduleBase(reinterpret_cast<const void*>(&libraryKindOf))) {
    return LibraryKind::kThisTap;
  }
  MarkSearch search;
  search.address = reinterpret_cast<uintptr_t>(address);
  dl_iterate_phdr(&visitModule, &search);
  return search.marked ? LibraryKind::kTap : LibraryKind::kPanel;
}

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
  // By its path: the libraries it needs are found by its own run path, as
  // for a host that loads it there.
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
  const long page = sysconf(_SC_PAGESIZE);
  if (page > 0) granularity_ = static_cast<uint64_t>(page);
  if (!makeFolderOf(wanted, error)) return false;
  for (int number = 0; number < 1000; ++number) {
    const fs::path name = numberedName(wanted, number);
    // Read and write: a shared mapping to write through needs both.
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
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

bool CaptureFile::grow(uint64_t size) {
  // Allocated now, so that no write into the mapping can find the disk
  // full (which would end the process).
  const int code =
      posix_fallocate(fd_, static_cast<off_t>(file_size_), static_cast<off_t>(size - file_size_));
  if (code != 0) {
    setError(std::strerror(code));
    return false;
  }
  file_size_ = size;
  return true;
}

bool CaptureFile::extend(uint64_t offset, std::size_t size, uint64_t limit, Window* window) {
  const uint64_t want = offset + size;
  if (fd_ < 0 || want > limit) {
    setError("no room left under the limit");
    return false;
  }
  if (want > file_size_) {
    const uint64_t step = small_steps_ ? want : std::max(want, file_size_ + kStep);
    if (!grow(std::min(step, limit))) {
      if (std::min(step, limit) == want) return false;
      small_steps_ = true;
      if (!grow(want)) return false;
    }
  }
  unmap();
  const uint64_t start = offset - offset % granularity_;
  const uint64_t length = file_size_ - start;
  if (length > SIZE_MAX) {
    setError("the capture's window is too large");
    return false;
  }
  void* view = mmap(nullptr, static_cast<std::size_t>(length), PROT_READ | PROT_WRITE, MAP_SHARED,
                    fd_, static_cast<off_t>(start));
  if (view == MAP_FAILED) {
    setError(std::strerror(errno));
    return false;
  }
  view_ = view;
  view_size_ = static_cast<std::size_t>(length);
#if defined(MADV_POPULATE_WRITE)
  // Each page made writable now, in one call, rather than by a fault on the
  // event path; where the kernel cannot, the faults do it.
  madvise(view_, view_size_, MADV_POPULATE_WRITE);
#endif
  window->data = static_cast<char*>(view_) + (offset - start);
  window->offset = offset;
  window->size = static_cast<std::size_t>(file_size_ - offset);
  return true;
}

bool CaptureFile::trim(uint64_t size) {
  unmap();
  if (fd_ < 0) return false;
  if (ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    setError(std::strerror(errno));
    return false;
  }
  file_size_ = size;
  return true;
}

void CaptureFile::unmap() {
  if (view_ != nullptr) munmap(view_, view_size_);
  view_ = nullptr;
  view_size_ = 0;
}

void CaptureFile::close() {
  unmap();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

uint64_t processId() { return static_cast<uint64_t>(getpid()); }

#endif

CaptureFile::~CaptureFile() { close(); }

void CaptureFile::setError(const char* text) {
  std::snprintf(last_error_, sizeof last_error_, "%s", text);
}

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
