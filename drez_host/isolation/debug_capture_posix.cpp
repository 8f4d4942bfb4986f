#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "isolation/debug_capture.h"

namespace drezhost {

namespace {

// The script's standard error (and output) point into a file of our own;
// each take reads what was added since the last, and the file is emptied
// once it has all been read, so it stays small.
class FileCapture : public DebugCapture {
 public:
  FileCapture(int file, bool wholeProcess) : file_(file), whole_(wholeProcess) {
    if (whole_) {
      // Unbuffered, so that a line is in the file when the script goes on.
      std::fflush(nullptr);
      std::setvbuf(stdout, nullptr, _IONBF, 0);
      dup2(file_, STDOUT_FILENO);
      dup2(file_, STDERR_FILENO);
    }
  }
  ~FileCapture() override {
    if (saved_ >= 0) callEnded();
    close(file_);
  }

  void callBegan() override {
    if (whole_ || saved_ >= 0) return;
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    dup2(file_, STDERR_FILENO);
  }

  void callEnded() override {
    if (saved_ < 0) return;
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    saved_ = -1;
  }

  void take(std::vector<std::string>& lines, bool flush) override {
    std::fflush(stdout);
    std::fflush(stderr);
    char bytes[8192];
    while (true) {
      const ssize_t got = pread(file_, bytes, sizeof bytes, read_);
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
    if (flush && !pending_.empty()) {
      lines.push_back(std::move(pending_));
      pending_.clear();
    }
    // Everything written has been read: the writers' position, which they
    // share with this descriptor, goes back to the start with ours.
    if (read_ > off_t{1024} * 1024 && ftruncate(file_, 0) == 0) {
      lseek(file_, 0, SEEK_SET);
      read_ = 0;
    }
  }

 private:
  int file_;
  bool whole_;
  int saved_ = -1;
  off_t read_ = 0;
  std::string pending_;
};

}  // namespace

std::unique_ptr<DebugCapture> DebugCapture::start(bool wholeProcess) {
#if defined(__linux__)
  int file = memfd_create("drez-host-debug", MFD_CLOEXEC);
#else
  int file = -1;
#endif
  if (file < 0) {
    std::FILE* temporary = std::tmpfile();
    if (temporary == nullptr) return nullptr;
    file = dup(fileno(temporary));
    std::fclose(temporary);
    if (file < 0) return nullptr;
  }
  return std::make_unique<FileCapture>(file, wholeProcess);
}

}  // namespace drezhost
