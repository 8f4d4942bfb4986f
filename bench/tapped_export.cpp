#include "tapped_export.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "call_recorder.h"
#include "capture_writer.h"
#include "tap_platform.h"
#include "tap_script.h"

namespace drezbench {

namespace {

// A file that wraps around at kWrapBytes.
class WrappingFile final : public drezcapture::CaptureSink {
 public:
  static constexpr off_t kWrapBytes = off_t{64} << 20;

  WrappingFile() {
    const std::filesystem::path name = std::filesystem::temp_directory_path() /
                                       ("drez_tap_bench_" + std::to_string(getpid()) + ".capture");
    fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd_ < 0) throw std::runtime_error("cannot create " + name.string());
    ::unlink(name.c_str());
  }
  ~WrappingFile() { ::close(fd_); }
  WrappingFile(const WrappingFile&) = delete;
  WrappingFile& operator=(const WrappingFile&) = delete;

  bool write(const char* data, std::size_t size) override {
    if (written_ > kWrapBytes) {
      ::lseek(fd_, 0, SEEK_SET);
      written_ = 0;
    }
    while (size > 0) {
      const ssize_t now = ::write(fd_, data, size);
      if (now <= 0) return false;
      data += now;
      size -= static_cast<std::size_t>(now);
      written_ += now;
    }
    return true;
  }

 private:
  int fd_ = -1;
  off_t written_ = 0;
};

// What one tap library holds while loaded, as its session does.
struct BenchTap {
  BenchTap() {
    writer.writeHeader();
    recorder.begin("bench", static_cast<int64_t>(getpid()), "Vantrel (linked in)");
  }
  WrappingFile file;
  drezcapture::CaptureWriter writer{file, UINT64_MAX};
  dreztap::CallRecorder recorder{writer, &dreztap::steadyMilliseconds};
  dreztap::TapCore core{&load_drez_client_script, &recorder};
};

}  // namespace

drez_client_callback* tappedExport(drez_client_host* host, const char* path) {
  static BenchTap tap;
  if (!tap.writer.recording())
    throw std::runtime_error("the benchmark's capture cannot be written");
  return tap.core.create(host, path);
}

}  // namespace drezbench
