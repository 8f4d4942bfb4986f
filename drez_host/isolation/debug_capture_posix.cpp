#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__GLIBC__)
#include <stdio_ext.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "isolation/debug_capture.h"

// A sanitizer's runtime, where the program has one, calls this back just
// before it ends the process after its report. The name is the runtime's.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace drezhost {

namespace {

// A file that nothing but this process and its children see: a memfd, or a
// temporary file removed at once.
int anonymousFile() {
#if defined(__linux__)
  const int file = memfd_create("drez-host-output", MFD_CLOEXEC);
  if (file >= 0) return file;
#endif
  std::FILE* temporary = std::tmpfile();
  if (temporary == nullptr) return -1;
  const int copy = fcntl(fileno(temporary), F_DUPFD_CLOEXEC, 0);
  std::fclose(temporary);
  return copy;
}

class PosixOutputFile : public OutputFile {
 public:
  explicit PosixOutputFile(int file) : file_(file) {}
  ~PosixOutputFile() override { close(file_); }

  std::uint64_t handle() const override { return static_cast<std::uint64_t>(file_); }

  std::string tail(std::size_t bytes) const override {
    // The file is longer than what was written (FileCapture fills it ahead
    // with zeros): its end is the writers' position, which this descriptor
    // shares with the child's.
    struct stat about = {};
    if (fstat(file_, &about) != 0 || about.st_size <= 0) return std::string();
    off_t end = lseek(file_, 0, SEEK_CUR);
    if (end < 0 || end > about.st_size) end = about.st_size;
    if (end == 0) return std::string();
    const auto size = static_cast<std::size_t>(end);
    const std::size_t from = size > bytes ? size - bytes : 0;
    std::string text(size - from, '\0');
    const ssize_t got = pread(file_, &text[0], text.size(), static_cast<off_t>(from));
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    // From the start of a line.
    if (from > 0) text.erase(0, text.find('\n') == std::string::npos ? 0 : text.find('\n') + 1);
    return text;
  }

 private:
  int file_;
};

class FileCapture;

// What the script left in the C library's buffers of standard output and
// error goes to the file; without the lock a flush takes, when there is
// nothing (the streams are unbuffered, unless the script changed that).
void flushStreams() {
#if defined(__GLIBC__)
  if (__fpending(stdout) != 0) std::fflush(stdout);
  if (__fpending(stderr) != 0) std::fflush(stderr);
#else
  std::fflush(stdout);
  std::fflush(stderr);
#endif
}

// The capture in drez-host's own process while it is in a call: what a
// dying process's last words are copied from.
std::atomic<FileCapture*> inCall{nullptr};

// The script's standard error (and output) point into a file of our own;
// each take reads what was added since the last, and the file is emptied
// once it has all been read, so it stays small.
//
// Asking the system whether anything was written would cost a system call
// at every command a script sends. Instead the file is filled ahead with
// zeros and mapped: a take looks at the byte where the next write lands,
// and the few after it, and asks the system only when one is no longer
// zero. A script that writes only zero bytes there is not seen at once:
// every kExactEvery-th take that flushes asks the system anyway.
class FileCapture : public DebugCapture {
 public:
  // How far ahead the file is filled and mapped.
  static constexpr off_t kWindow = off_t{2} * 1024 * 1024;
  // Everything read past this, the file is emptied and filled again.
  static constexpr off_t kRewind = off_t{1024} * 1024;
  static constexpr unsigned kExactEvery = 256;
  // How many bytes a take looks at.
  static constexpr std::size_t kProbed = 64;

  FileCapture(int file, bool wholeProcess) : file_(file), whole_(wholeProcess) {
    if (whole_) {
      // Unbuffered, so that a line is in the file when the script goes on.
      std::fflush(nullptr);
      std::setvbuf(stdout, nullptr, _IONBF, 0);
      dup2(file_, STDOUT_FILENO);
      dup2(file_, STDERR_FILENO);
    } else {
      watchForDeath();
    }
    mapAhead();
  }
  ~FileCapture() override {
    if (saved_ >= 0) callEnded();
    if (window_ != nullptr) {
      munmap(const_cast<char*>(window_), static_cast<std::size_t>(kWindow));
      // The file is no longer than what was written, for whoever reads it.
      const off_t end = lseek(file_, 0, SEEK_CUR);
      if (end >= 0) (void)ftruncate(file_, end);
    }
    close(file_);
  }

  void callBegan() override {
    if (whole_ || saved_ >= 0) return;
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    dup2(file_, STDERR_FILENO);
    inCall.store(this);
  }

  void callEnded() override {
    if (saved_ < 0) return;
    inCall.store(nullptr);
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    saved_ = -1;
  }

  void take(std::vector<std::string>& lines, bool flush) override {
    flushStreams();
    if (!nothingWritten(flush)) readWritten(lines);
    if (flush && !pending_.empty()) {
      lines.push_back(std::move(pending_));
      pending_.clear();
    }
    // Everything written has been read: the writers' position, which they
    // share with this descriptor, goes back to the start with ours.
    if (read_ > kRewind && ftruncate(file_, 0) == 0) {
      lseek(file_, 0, SEEK_SET);
      read_ = 0;
      if (window_ != nullptr && ftruncate(file_, kWindow) != 0) {
        munmap(const_cast<char*>(window_), static_cast<std::size_t>(kWindow));
        window_ = nullptr;
      }
    }
  }

  // The process is dying in a call: standard error back to the terminal,
  // and what the call wrote there that no take has shown copied to it.
  // Only async-signal-safe calls: it runs in a signal handler.
  void lastWords() {
    dup2(saved_, STDERR_FILENO);
    char bytes[4096];
    off_t at = read_;
    const off_t end = lseek(file_, 0, SEEK_CUR);
    ssize_t got = 0;
    while (at < end &&
           (got = pread(file_, bytes, std::min(sizeof bytes, static_cast<std::size_t>(end - at)),
                        at)) > 0) {
      if (write(STDERR_FILENO, bytes, static_cast<std::size_t>(got)) < 0) break;
      at += got;
    }
  }

 private:
  // Fills the file ahead with zeros and maps it; without a mapping, every
  // take asks the system.
  void mapAhead() {
    struct stat about = {};
    if (fstat(file_, &about) != 0 || about.st_size > 0 || lseek(file_, 0, SEEK_CUR) != 0) return;
    if (ftruncate(file_, kWindow) != 0) return;
    void* window =
        mmap(nullptr, static_cast<std::size_t>(kWindow), PROT_READ, MAP_SHARED, file_, 0);
    if (window == MAP_FAILED) {
      (void)ftruncate(file_, 0);
      return;
    }
    window_ = static_cast<const char*>(window);
  }

  // True when the mapped bytes where the next write lands are still zero
  // (and this is no take that asks the system anyway).
  bool nothingWritten(bool flush) {
    if (window_ == nullptr || read_ + off_t{kProbed} > kWindow) return false;
    std::uint64_t words[kProbed / 8];
    std::memcpy(words, window_ + read_, kProbed);
    std::uint64_t any = 0;
    for (std::uint64_t word : words) any |= word;
    if (any != 0) return false;
    return !flush || ++flushes_ % kExactEvery != 0;
  }

  // Reads what was written since the last take, up to the writers' position.
  void readWritten(std::vector<std::string>& lines) {
    const off_t end = window_ != nullptr ? lseek(file_, 0, SEEK_CUR) : -1;
    char bytes[8192];
    while (end < 0 || read_ < end) {
      std::size_t wanted = sizeof bytes;
      if (end >= 0) wanted = std::min(wanted, static_cast<std::size_t>(end - read_));
      const ssize_t got = pread(file_, bytes, wanted, read_);
      if (got <= 0) break;
      read_ += got;
      for (ssize_t i = 0; i < got; ++i) {
        if (bytes[i] == '\n') {
          lines.push_back(std::move(pending_));
          pending_.clear();
        } else if (pending_.size() < kLineLimit) {
          pending_ += bytes[i];
        }
      }
    }
  }

 private:
  static void onDeath() {
    if (FileCapture* capture = inCall.exchange(nullptr)) capture->lastWords();
  }

  // A signal that ends the process: the last words, then what was there
  // before (a sanitizer's handler, or the default) takes it.
  static void onSignal(int signal) {
    onDeath();
    for (Handler& handler : handlers_) {
      if (handler.signal == signal) sigaction(signal, &handler.previous, nullptr);
    }
    // A fault happens again when the handler returns; abort() raises again.
    if (signal != SIGSEGV && signal != SIGBUS && signal != SIGILL && signal != SIGFPE) {
      raise(signal);
    }
  }

  static void watchForDeath() {
    static bool watching = false;
    if (watching) return;
    watching = true;
    if (__sanitizer_set_death_callback != nullptr) __sanitizer_set_death_callback(onDeath);
    for (Handler& handler : handlers_) {
      struct sigaction action = {};
      action.sa_handler = onSignal;
      sigemptyset(&action.sa_mask);
      action.sa_flags = SA_NODEFER;
      sigaction(handler.signal, &action, &handler.previous);
    }
  }

  struct Handler {
    int signal;
    struct sigaction previous;
  };
  static inline Handler handlers_[] = {
      {SIGABRT, {}}, {SIGSEGV, {}}, {SIGBUS, {}}, {SIGILL, {}}, {SIGFPE, {}},
  };

  int file_;
  bool whole_;
  int saved_ = -1;
  off_t read_ = 0;
  const char* window_ = nullptr;  // the file's first kWindow bytes, or null
  unsigned flushes_ = 0;
  std::string pending_;
};

}  // namespace

std::unique_ptr<OutputFile> OutputFile::create() {
  const int file = anonymousFile();
  if (file < 0) return nullptr;
  return std::make_unique<PosixOutputFile>(file);
}

std::unique_ptr<DebugCapture> DebugCapture::start(bool wholeProcess) {
  const int file = anonymousFile();
  if (file < 0) return nullptr;
  return std::make_unique<FileCapture>(file, wholeProcess);
}

std::unique_ptr<DebugCapture> DebugCapture::into(std::optional<std::uint64_t> file) {
  if (!file) return start(true);
  const int copy = fcntl(static_cast<int>(*file), F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return start(true);
  return std::make_unique<FileCapture>(copy, true);
}

}  // namespace drezhost
