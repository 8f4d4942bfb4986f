#include "bench_panel.h"

#include <stdexcept>
#include <utility>

#include "drez_script_helper.h"
#include "recording_host.h"

namespace drezbench {

namespace {

std::string deviceReply(const std::string& command) {
  if (command == "SD 'RIR Tally Infodriver'") return std::to_string(BenchPanel::kTallyDevice);
  if (command == "SD 'RIR SDI Router'") return std::to_string(BenchPanel::kSdiRouterDevice);
  if (command == "SD 'RIR Audio Router'") return std::to_string(BenchPanel::kAudioRouterDevice);
  if (command == "SD 'Studio A Blue Lights'") {
    return std::to_string(BenchPanel::kLightsDevice) + " " +
           std::to_string(BenchPanel::kLightsOffset);
  }
  return "0 0";
}

void checkHonest(const drezhost::RecordingHost& recorder) {
  if (!recorder.faults().empty()) throw std::runtime_error(recorder.faults().front());
  if (recorder.repliesHeld() != 0) throw std::runtime_error("the script kept a host reply");
}

// Hands the host's calls to `delegate` for as long as it lives.
class DelegateScope {
 public:
  DelegateScope(CountingHost& host, drez_client_host& delegate) : host_(host) {
    host_.setDelegate(&delegate);
  }
  ~DelegateScope() { host_.setDelegate(nullptr); }
  DelegateScope(const DelegateScope&) = delete;
  DelegateScope& operator=(const DelegateScope&) = delete;

 private:
  CountingHost& host_;
};

}  // namespace

BenchPanel::BenchPanel(load_drez_client_script_fn create) {
  drezhost::RecordingHost starter;
  starter.setResponder([](const std::string& command) -> std::optional<std::string> {
    if (command.rfind("SD ", 0) == 0) return deviceReply(command);
    return std::string();
  });
  {
    const DelegateScope scope(host_, starter);
    script_ = create(&host_, "panels");
  }
  if (script_ == nullptr) throw std::runtime_error("load_drez_client_script gave no script");
  checkHonest(starter);
}

BenchPanel::~BenchPanel() { drez_delete_script(script_); }

HostCall BenchPanel::deviceUpdate(int32_t device, int32_t index, int32_t number,
                                  const std::string& text) {
  records_.emplace_back(device, index, number, text);
  return {records_.back().get(), CB_DEVICE_UPDATE};
}

HostCall BenchPanel::hostRequest(const std::string& text) {
  requests_.push_back(text);
  return {&requests_.back()[0], CB_HOST_REQUEST};
}

HostCall BenchPanel::eventId(int id) {
  return {reinterpret_cast<void*>(static_cast<intptr_t>(id)), CB_EVENT_ID};
}

void BenchPanel::deliver(const HostCall& call) {
  const char* reply = script_->callback(call.data, call.kind);
  if (reply == nullptr) return;
  host_.readReply(reply);
  script_->callback(const_cast<char*>(reply), CB_RELEASE_REPLY);
}

Recorded BenchPanel::record(const HostCall& call) {
  drezhost::RecordingHost recorder;
  Recorded recorded;
  const char* reply = nullptr;
  {
    const DelegateScope scope(host_, recorder);
    reply = script_->callback(call.data, call.kind);
  }
  if (reply != nullptr) {
    recorded.reply = reply;
    script_->callback(const_cast<char*>(reply), CB_RELEASE_REPLY);
  }
  checkHonest(recorder);
  recorded.commands = recorder.commands();
  return recorded;
}

}  // namespace drezbench
