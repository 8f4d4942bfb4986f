#include "recording_host.h"

namespace drezhost {

RecordingHost::RecordingHost()
    : responder_([](const std::string&) { return std::optional<std::string>(std::string()); }) {}

RecordingHost::~RecordingHost() = default;

void RecordingHost::setResponder(Responder responder) { responder_ = std::move(responder); }

void RecordingHost::setExecuteHook(ExecuteHook hook) { hook_ = std::move(hook); }

std::vector<std::string> RecordingHost::takeCommands() {
  std::vector<std::string> recent(commands_.begin() + static_cast<std::ptrdiff_t>(taken_),
                                  commands_.end());
  taken_ = commands_.size();
  return recent;
}

intptr_t DREZ_THISCALL RecordingHost::command(const char* text, int kind) {
  if (kind == HOST_CMD_RELEASE) {
    if (std::optional<std::string> fault = ledger_.takeBack(text)) faults_.push_back(*fault);
    return 0;
  }
  if (kind != HOST_CMD_EXECUTE) {
    faults_.push_back("command of unknown kind " + std::to_string(kind));
    return 0;
  }
  if (text == nullptr) {
    faults_.push_back("command with a null text");
    return 0;
  }
  const std::string command_text(text);
  commands_.push_back(command_text);
  const std::optional<std::string> answer = responder_(command_text);
  if (hook_) {
    // A copy runs, so that a hook may replace or clear itself.
    const ExecuteHook hook = hook_;
    hook(command_text);
  }
  if (!carriesReply(command_text)) return answer ? 1 : 0;
  return answer ? reinterpret_cast<intptr_t>(ledger_.handOut(*answer, command_text)) : 0;
}

}  // namespace drezhost
