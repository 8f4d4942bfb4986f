// The script's debug lines on Windows. OutputDebugStringA and
// OutputDebugStringW hand their text to a debugger by raising
// DBG_PRINTEXCEPTION_C (DBG_PRINTEXCEPTION_WIDE_C); a vectored exception
// handler, first in line, copies the text and continues the program, so no
// debugger or system-wide reader sees it. In a child process the standard
// output and error go to a temporary file as well (the parent's OutputFile,
// or one of the capture's own), read back at each take, as on POSIX systems.

#include <windows.h>
// After windows.h.
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "isolation/debug_capture.h"

namespace drezhost {

namespace {

constexpr DWORD kDebugString = 0x40010006;      // DBG_PRINTEXCEPTION_C
constexpr DWORD kDebugStringWide = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C
// What the handler keeps between two takes; the rest is counted as lost.
constexpr std::size_t kBufferSize = 1 << 20;

// Cuts bytes into lines: each without its line end (and a carriage return
// before it), each at most kLineLimit bytes.
class LineSplitter {
 public:
  void add(const char* bytes, std::size_t size, std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < size; ++i) {
      if (bytes[i] == '\n') {
        if (!pending_.empty() && pending_.back() == '\r') pending_.pop_back();
        lines.push_back(std::move(pending_));
        pending_.clear();
      } else if (pending_.size() < DebugCapture::kLineLimit) {
        pending_ += bytes[i];
      }
    }
  }

  void flush(std::vector<std::string>& lines) {
    if (pending_.empty()) return;
    lines.push_back(std::move(pending_));
    pending_.clear();
  }

 private:
  std::string pending_;
};

// The text handed to OutputDebugString, from any thread, kept in a buffer
// of fixed size: the handler allocates nothing.
class DebugStrings {
 public:
  DebugStrings() : buffer_(new char[kBufferSize]) {}

  void add(const char* text, std::size_t size) {
    AcquireSRWLockExclusive(&lock_);
    const std::size_t room = kBufferSize - used_;
    const std::size_t kept = size < room ? size : room;
    std::memcpy(buffer_.get() + used_, text, kept);
    used_ += kept;
    lost_ += size - kept;
    ReleaseSRWLockExclusive(&lock_);
  }

  // Kept as UTF-8, a piece at a time, never splitting a surrogate pair.
  void addWide(const wchar_t* text, std::size_t count) {
    constexpr std::size_t kPiece = 256;
    char bytes[kPiece * 4];
    while (count > 0) {
      std::size_t piece = count < kPiece ? count : kPiece;
      if (piece < count && text[piece - 1] >= 0xD800 && text[piece - 1] <= 0xDBFF) --piece;
      const int made = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(piece), bytes,
                                           static_cast<int>(sizeof bytes), nullptr, nullptr);
      if (made > 0) add(bytes, static_cast<std::size_t>(made));
      text += piece;
      count -= piece;
    }
  }

  // Moves what arrived into `text`; returns the count of bytes lost.
  std::size_t take(std::string& text) {
    AcquireSRWLockExclusive(&lock_);
    text.assign(buffer_.get(), used_);
    used_ = 0;
    const std::size_t lost = lost_;
    lost_ = 0;
    ReleaseSRWLockExclusive(&lock_);
    return lost;
  }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  std::size_t lost_ = 0;
};

// The one capture whose handler is installed.
std::atomic<DebugStrings*> receiving{nullptr};

LONG CALLBACK onDebugString(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD& record = *info->ExceptionRecord;
  if (record.ExceptionCode != kDebugString && record.ExceptionCode != kDebugStringWide) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  DebugStrings* strings = receiving.load();
  if (strings == nullptr || record.NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
  // The length counts the terminating NUL; the text ends at the first NUL.
  const std::size_t length = static_cast<std::size_t>(record.ExceptionInformation[0]);
  if (record.ExceptionCode == kDebugString) {
    const auto* text = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
    if (text != nullptr) strings->add(text, strnlen(text, length));
  } else {
    const auto* text = reinterpret_cast<const wchar_t*>(record.ExceptionInformation[1]);
    if (text != nullptr) strings->addWide(text, wcsnlen(text, length));
  }
  return EXCEPTION_CONTINUE_EXECUTION;
}

// A temporary file, deleted once its last handle closes (the parent's and
// the child's). INVALID_HANDLE_VALUE when none can be made.
HANDLE temporaryFile() {
  wchar_t folder[MAX_PATH + 1];
  wchar_t path[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"drz", 0, path) == 0) {
    return INVALID_HANDLE_VALUE;
  }
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, share, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) DeleteFileW(path);
  return file;
}

class WindowsOutputFile : public OutputFile {
 public:
  explicit WindowsOutputFile(HANDLE file) : file_(file) {}
  ~WindowsOutputFile() override { CloseHandle(file_); }

  std::uint64_t handle() const override { return reinterpret_cast<std::uintptr_t>(file_); }

  std::string tail(std::size_t bytes) const override {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file_, &size) || size.QuadPart <= 0) return std::string();
    const auto total = static_cast<unsigned long long>(size.QuadPart);
    const unsigned long long from = total > bytes ? total - bytes : 0;
    std::string text(static_cast<std::size_t>(total - from), '\0');
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(from & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(from >> 32);
    DWORD got = 0;
    if (!ReadFile(file_, &text[0], static_cast<DWORD>(text.size()), &got, &at)) got = 0;
    text.resize(got);
    // From the start of a line.
    const std::size_t lineEnd = text.find('\n');
    if (from > 0) text.erase(0, lineEnd == std::string::npos ? 0 : lineEnd + 1);
    return text;
  }

 private:
  HANDLE file_;
};

// Standard output and error pointed into a temporary file, deleted when the
// process ends. The writers share one file position; the capture reads
// through a handle of its own, and empties the file once it has read much.
class StandardStreams {
 public:
  ~StandardStreams() {
    if (read_ != INVALID_HANDLE_VALUE) CloseHandle(read_);
    if (write_ != INVALID_HANDLE_VALUE) CloseHandle(write_);
  }

  // Into a temporary file of its own, read through a second handle.
  bool start() {
    wchar_t folder[MAX_PATH + 1];
    wchar_t path[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"drz", 0, path) == 0) {
      return false;
    }
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    write_ = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, share, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (write_ == INVALID_HANDLE_VALUE) {
      DeleteFileW(path);
      return false;
    }
    read_ = CreateFileW(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_TEMPORARY,
                        nullptr);
    return read_ != INVALID_HANDLE_VALUE && pointStreams();
  }

  // Into `file` (the parent's), which it owns from now on, read through a
  // handle of its own; false when no such handle can be had.
  bool adopt(HANDLE file) {
    write_ = file;
    read_ =
        ReOpenFile(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    return read_ != INVALID_HANDLE_VALUE && pointStreams();
  }

  void take(LineSplitter& splitter, std::vector<std::string>& lines) {
    std::fflush(stdout);
    std::fflush(stderr);
    char bytes[8192];
    DWORD got = 0;
    while (ReadFile(read_, bytes, sizeof bytes, &got, nullptr) && got > 0) {
      read_bytes_ += got;
      splitter.add(bytes, got, lines);
    }
    // All that was written has been read: the writers' position goes back
    // to the start with ours.
    if (read_bytes_ > 1024 * 1024) {
      LARGE_INTEGER start = {};
      if (SetFilePointerEx(write_, start, nullptr, FILE_BEGIN) && SetEndOfFile(write_)) {
        SetFilePointerEx(read_, start, nullptr, FILE_BEGIN);
        read_bytes_ = 0;
      }
    }
  }

 private:
  // Standard output and error (the C runtime's and the system's) into write_.
  bool pointStreams() {
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), write_, GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
      return false;
    }
    const int file = _open_osfhandle(reinterpret_cast<intptr_t>(copy), _O_WRONLY);
    if (file < 0) {
      CloseHandle(copy);
      return false;
    }
    // Unbuffered, so that a line is in the file when the script goes on.
    std::fflush(nullptr);
    _dup2(file, 1);
    _dup2(file, 2);
    _close(file);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    // A library with a C runtime of its own takes these when it loads.
    SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(1)));
    SetStdHandle(STD_ERROR_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(2)));
    return true;
  }

  HANDLE write_ = INVALID_HANDLE_VALUE;
  HANDLE read_ = INVALID_HANDLE_VALUE;
  unsigned long long read_bytes_ = 0;
};

class WindowsCapture : public DebugCapture {
 public:
  // `file`: the parent's output file, for a whole process; else one of its own.
  WindowsCapture(bool wholeProcess, HANDLE file = INVALID_HANDLE_VALUE) {
    receiving.store(&strings_);
    handler_ = AddVectoredExceptionHandler(1, onDebugString);
    if (wholeProcess) {
      streams_ = std::make_unique<StandardStreams>();
      if (file == INVALID_HANDLE_VALUE || !streams_->adopt(file)) {
        // Without the parent's file, one of its own: a crash report then
        // shows no tail, but the debug lines stand in the trace.
        streams_ = std::make_unique<StandardStreams>();
        if (!streams_->start()) streams_.reset();
      }
    }
  }

  ~WindowsCapture() override {
    if (handler_ != nullptr) RemoveVectoredExceptionHandler(handler_);
    receiving.store(nullptr);
  }

  void take(std::vector<std::string>& lines, bool flush) override {
    if (streams_ != nullptr) streams_->take(streamLines_, lines);
    std::string text;
    const std::size_t lost = strings_.take(text);
    stringLines_.add(text.data(), text.size(), lines);
    if (lost > 0) {
      stringLines_.flush(lines);
      lines.push_back("(" + std::to_string(lost) +
                      " bytes of debug text were lost: more than 1 MiB arrived at once)");
    }
    if (flush) {
      streamLines_.flush(lines);
      stringLines_.flush(lines);
    }
  }

 private:
  DebugStrings strings_;
  void* handler_ = nullptr;
  std::unique_ptr<StandardStreams> streams_;
  LineSplitter streamLines_;
  LineSplitter stringLines_;
};

}  // namespace

std::unique_ptr<OutputFile> OutputFile::create() {
  const HANDLE file = temporaryFile();
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<WindowsOutputFile>(file);
}

std::unique_ptr<DebugCapture> DebugCapture::start(bool wholeProcess) {
  return std::make_unique<WindowsCapture>(wholeProcess);
}

std::unique_ptr<DebugCapture> DebugCapture::into(std::optional<std::uint64_t> file) {
  if (!file) return start(true);
  return std::make_unique<WindowsCapture>(
      true, reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(*file)));
}

}  // namespace drezhost
