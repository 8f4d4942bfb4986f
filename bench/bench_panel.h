// A Vantrel panel started through the library's export on a CountingHost,
// with the device numbers below, and the host calls that drive it.
//
// A host call is delivered the way a host delivers it: callback(data, kind),
// and when that returns a reply, the host reads it and hands it back with
// CB_RELEASE_REPLY. Recording a call runs it once with a RecordingHost behind
// the counting host, which gives the exact command texts it sends.
//
// Threading: single-threaded.

#ifndef BENCH_BENCH_PANEL_H_
#define BENCH_BENCH_PANEL_H_

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "counting_host.h"
#include "drez_client_callback.h"
#include "drez_export.h"
#include "simulator/records_builder.h"

namespace drezbench {

// One call of the host into the script. `data` points into storage that the
// BenchPanel which made the call owns.
struct HostCall {
  void* data;
  int kind;
};

// What one host call made the script send: its command texts, in order, and
// the reply it returned (empty for none).
struct Recorded {
  std::vector<std::string> commands;
  std::string reply;
};

class BenchPanel {
 public:
  static constexpr int32_t kTallyDevice = 3;
  static constexpr int32_t kSdiRouterDevice = 7;
  static constexpr int32_t kAudioRouterDevice = 8;
  static constexpr int32_t kLightsDevice = 12;
  static constexpr int32_t kLightsOffset = 40;

  // Starts the panel, created by `create` (the library's export by
  // default; tappedExport for the panel behind the tap), with "SD" replies
  // giving the numbers above. Throws std::runtime_error when the export
  // gives no script.
  explicit BenchPanel(load_drez_client_script_fn create = &load_drez_client_script);
  // Deletes the script.
  ~BenchPanel();
  BenchPanel(const BenchPanel&) = delete;
  BenchPanel& operator=(const BenchPanel&) = delete;

  // Calls whose data lives as long as this panel.
  HostCall deviceUpdate(int32_t device, int32_t index, int32_t number, const std::string& text);
  HostCall tallySlot(int32_t slot, const std::string& text) {
    return deviceUpdate(kTallyDevice, slot, 0, text);
  }
  HostCall hostRequest(const std::string& text);
  static HostCall eventId(int id);

  // Delivers `call`; out of line, like replaying its texts.
  void deliver(const HostCall& call);
  // Delivers `call` once and returns what it sent. Throws std::runtime_error
  // when the script breaks the reply-release contract while doing so.
  Recorded record(const HostCall& call);

  CountingHost& host() { return host_; }

 private:
  CountingHost host_;
  drez_client_callback* script_ = nullptr;
  std::deque<drezhost::DeviceUpdateRecord> records_;
  std::deque<std::string> requests_;
};

}  // namespace drezbench

#endif  // BENCH_BENCH_PANEL_H_
