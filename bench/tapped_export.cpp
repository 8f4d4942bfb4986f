#include "tapped_export.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "call_recorder.h"
#include "capture_writer.h"
#include "tap_platform.h"
#include "tap_script.h"

namespace drezbench {

namespace {

// The tap's own capture file and shared mapping, wrapping around: an entry
// that would pass kWrapBytes goes to the file's start again. The region is
// made and written through once beforehand, so that the events measured
// write into pages the system already holds and maps: what they cost is the
// tap's own work. A capture that grows in the studio also pays for each new
// page of the file; bench/README.md says how much.
class WrappingCapture final : public drezcapture::CaptureSink {
 public:
  static constexpr uint64_t kWrapBytes = uint64_t{64} << 20;

  WrappingCapture() {
    const std::filesystem::path name = std::filesystem::temp_directory_path() /
                                       ("drez_tap_bench_" + std::to_string(getpid()) + ".capture");
    std::filesystem::path made;
    std::string error;
    if (!file_.create(name, &made, &error)) {
      throw std::runtime_error("cannot create " + name.string() + ": " + error);
    }
    std::filesystem::remove(made);
    Window whole;
    if (!file_.extend(0, kWrapBytes, kWrapBytes, &whole)) {
      throw std::runtime_error(std::string("cannot map the benchmark's capture: ") +
                               file_.lastError());
    }
    region_ = whole.data;
    std::memset(region_, 0, kWrapBytes);
  }

  bool extend(uint64_t offset, std::size_t size, uint64_t, Window* window) override {
    if (offset - base_ + size > kWrapBytes) base_ = offset;
    window->data = region_ + (offset - base_);
    window->offset = offset;
    window->size = static_cast<std::size_t>(kWrapBytes - (offset - base_));
    return true;
  }
  bool trim(uint64_t) override { return true; }
  const char* lastError() const override { return file_.lastError(); }

 private:
  dreztap::CaptureFile file_;
  char* region_ = nullptr;
  uint64_t base_ = 0;  // the writer's offset at the file's start
};

// What one tap library holds while loaded, as its session does.
struct BenchTap {
  BenchTap() {
    writer.writeHeader();
    recorder.begin("bench", static_cast<int64_t>(getpid()), "Vantrel (linked in)");
  }
  WrappingCapture file;
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
