#include "recording_host.h"

#include <cstring>
#include <sstream>

namespace drezhost {

namespace {

std::string describe(const void* pointer) {
  std::ostringstream text;
  text << pointer;
  return text.str();
}

}  // namespace

RecordingHost::RecordingHost()
    : responder_([](const std::string&) { return std::optional<std::string>(std::string()); }) {}

RecordingHost::~RecordingHost() = default;

bool RecordingHost::carriesReply(const std::string& command) {
  const std::string code = command.substr(0, 2);
  return code == "SD" || code == "XI" || code == "TG";
}

void RecordingHost::setResponder(Responder responder) { responder_ = std::move(responder); }

void RecordingHost::setExecuteHook(ExecuteHook hook) { hook_ = std::move(hook); }

std::vector<std::string> RecordingHost::takeCommands() {
  std::vector<std::string> recent(commands_.begin() + static_cast<std::ptrdiff_t>(taken_),
                                  commands_.end());
  taken_ = commands_.size();
  return recent;
}

intptr_t RecordingHost::command(const char* text, int kind) {
  if (kind == HOST_CMD_RELEASE) {
    takeBack(text);
    return 0;
  }
  if (kind != HOST_CMD_EXECUTE) {
    addFault("command of unknown kind " + std::to_string(kind));
    return 0;
  }
  if (text == nullptr) {
    addFault("command with a null text");
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
  if (carriesReply(command_text)) return answer ? handOut(*answer, command_text) : 0;
  return answer ? 1 : 0;
}

std::vector<const char*> RecordingHost::heldReplies() const {
  std::vector<const char*> pointers;
  for (const auto& held : held_) pointers.push_back(held.first);
  return pointers;
}

const std::string* RecordingHost::heldReplyCommand(const char* reply) const {
  auto held = held_.find(reply);
  return held != held_.end() ? &held->second.command : nullptr;
}

intptr_t RecordingHost::handOut(const std::string& text, const std::string& command) {
  Held held;
  held.text.reset(new char[text.size() + 1]);
  std::memcpy(held.text.get(), text.c_str(), text.size() + 1);
  held.command = command;
  const char* pointer = held.text.get();
  released_.erase(pointer);
  held_.emplace(pointer, std::move(held));
  ++handed_out_;
  return reinterpret_cast<intptr_t>(pointer);
}

void RecordingHost::takeBack(const char* reply) {
  auto held = held_.find(reply);
  if (held != held_.end()) {
    held_.erase(held);
    released_.insert(reply);
    ++released_count_;
    return;
  }
  if (reply == nullptr) {
    addFault("released a null reply");
  } else if (released_.count(reply) != 0) {
    addFault("released the reply at " + describe(reply) + " twice");
  } else {
    addFault("released " + describe(reply) + ", which this host never handed out");
  }
}

}  // namespace drezhost
