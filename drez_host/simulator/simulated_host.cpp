#include "simulated_host.h"

#include <algorithm>
#include <sstream>

#include "drez_string.h"
#include "records_builder.h"

namespace drezhost {

namespace {

template <typename T>
bool contains(const std::vector<T>& list, const T& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

std::string pointerText(const void* pointer) {
  std::ostringstream text;
  text << pointer;
  return text.str();
}

}  // namespace

SimulatedHost::SimulatedHost(Installation& installation, Trace& trace, Validator& validator)
    : installation_(installation), trace_(trace), validator_(validator) {}

SimulatedHost::~SimulatedHost() {
  while (!scripts_.empty()) destroy(*scripts_.front());
}

Script* SimulatedHost::create(const std::string& name, const ScriptFactory& factory,
                              const std::string& path) {
  scripts_.push_back(std::make_unique<Script>());
  Script& script = *scripts_.back();
  script.id = next_id_++;
  script.name = name;
  if (scripts_.size() > 1) trace_.setShowScripts(true);
  const std::string what =
      "create " + name + ": load_drez_client_script(host, " + quoteText(path) + ")";
  callInto(script, what, [&] {
    script.object = factory(this, path.c_str());
    if (script.object == nullptr) validator_.error(this->context() + ": the export returned null");
  });
  if (script.object != nullptr) return &script;
  scripts_.erase(
      std::find_if(scripts_.begin(), scripts_.end(),
                   [&](const std::unique_ptr<Script>& held) { return held.get() == &script; }));
  return nullptr;
}

void SimulatedHost::destroy(Script& script) {
  script.deleting = true;
  drez_client_callback* object = script.object;
  const std::string context =
      callInto(script, "delete " + script.name, [&] { drez_delete_script(object); });
  script.object = nullptr;
  if (!script.detached) validator_.error(context + ": the script was deleted without sending AS");
  for (const Registration& registration : script.registrations.open()) {
    validator_.error(context + ": registration " + registration.describe() +
                     " was still open when the script was deleted");
  }
  for (int32_t id : script.unacknowledgedEvents) {
    validator_.warning(context + ": event id " + std::to_string(id) +
                       " was never acknowledged with ET");
  }
  scripts_.erase(
      std::find_if(scripts_.begin(), scripts_.end(),
                   [&](const std::unique_ptr<Script>& held) { return held.get() == &script; }));
}

Script* SimulatedHost::findScript(const std::string& name) {
  for (const auto& script : scripts_) {
    if (script->name == name) return script.get();
  }
  return nullptr;
}

Script* SimulatedHost::findScript(int id) {
  for (const auto& script : scripts_) {
    if (script->id == id) return script.get();
  }
  return nullptr;
}

std::vector<Script*> SimulatedHost::scripts() {
  std::vector<Script*> alive;
  for (const auto& script : scripts_) alive.push_back(script.get());
  return alive;
}

Script* SimulatedHost::current() {
  return frames_.empty() ? nullptr : findScript(frames_.back().scriptId);
}

std::string SimulatedHost::context() const {
  return frames_.empty() ? std::string("outside any call into a script") : frames_.back().context;
}

std::string SimulatedHost::callInto(Script& script, const std::string& what,
                                    const std::function<void()>& call) {
  const int depth = static_cast<int>(frames_.size());
  const int entry = trace_.entry(depth, script.name, what);
  Frame frame;
  frame.scriptId = script.id;
  frame.context = "#" + std::to_string(entry) + " " + what;
  frame.heldAtEntry = ledger_.held();
  frames_.push_back(std::move(frame));
  try {
    call();
  } catch (const std::exception& exception) {
    validator_.error(context() + ": an exception escaped the script: " + exception.what());
  } catch (...) {
    validator_.error(context() + ": an exception escaped the script");
  }
  Frame done = std::move(frames_.back());
  frames_.pop_back();
  for (const char* reply : ledger_.held()) {
    if (contains(done.heldAtEntry, reply) || contains(reported_, reply)) continue;
    reported_.push_back(reply);
    validator_.error(done.context + ": the script still held the reply to " +
                     *ledger_.commandOf(reply) + " when its call returned");
  }
  for (const Delivery& delivery : done.deferred) deliver(delivery);
  return done.context;
}

void SimulatedHost::checkResult(const char* result) {
  if (result != nullptr) {
    validator_.error(context() + ": the script returned a non-null result where none is expected");
  }
}

std::optional<std::string> SimulatedHost::request(Script& script, const std::string& text) {
  std::vector<char> data(text.begin(), text.end());
  data.push_back('\0');
  const char* reply = nullptr;
  callInto(script, "request " + quoteText(text),
           [&] { reply = script.object->callback(data.data(), CB_HOST_REQUEST); });
  const int depth = static_cast<int>(frames_.size()) + 1;
  if (reply == nullptr) {
    trace_.note(depth, "<= no reply");
    return std::nullopt;
  }
  std::string answer(reply);
  trace_.note(depth, "<= reply " + quoteText(answer));
  callInto(script, "release the reply " + quoteText(answer), [&] {
    checkResult(script.object->callback(const_cast<char*>(reply), CB_RELEASE_REPLY));
  });
  return answer;
}

void SimulatedHost::fireEvent(Script& script, int32_t id) {
  script.unacknowledgedEvents.push_back(id);
  callInto(script, "event id " + std::to_string(id), [&] {
    checkResult(
        script.object->callback(reinterpret_cast<void*>(static_cast<intptr_t>(id)), CB_EVENT_ID));
  });
}

void SimulatedHost::controlEvent(Script& script, const std::string& control,
                                 const std::string& command) {
  ControlEventRecord record(control, command);
  callInto(script, "control event " + control + " " + quoteText(command),
           [&] { checkResult(script.object->callback(record.get(), CB_CONTROL_EVENT)); });
}

void SimulatedHost::notify(Script& script, int kind, intptr_t value) {
  callInto(script, "notify " + std::to_string(kind) + " (value " + std::to_string(value) + ")",
           [&] { checkResult(script.object->callback(reinterpret_cast<void*>(value), kind)); });
}

void SimulatedHost::setSlot(const std::string& infodriver, int32_t slot, const std::string& text) {
  installation_.setSlot(infodriver, slot, text);
  broadcast(installation_.deviceNamed(infodriver, DeviceKind::Infodriver), slot);
}

void SimulatedHost::route(const std::string& router, int32_t destination, int32_t source,
                          const std::string& sourceName) {
  installation_.route(router, destination, source, sourceName);
  broadcast(installation_.deviceNamed(router, DeviceKind::Router), destination);
}

SimulatedHost::Delivery SimulatedHost::update(const Device& device, int32_t index) const {
  Delivery delivery;
  delivery.device = device.number;
  delivery.index = index;
  const std::string label = "device update " + installation_.label(device.number) + " (" +
                            std::to_string(device.number) + ")";
  if (device.kind == DeviceKind::Router) {
    const Route route = device.route(index);
    delivery.number = route.source;
    delivery.text = route.name;
    delivery.description = label + " destination " + std::to_string(index) + ": source " +
                           std::to_string(route.source) + " " + quoteText(route.name);
  } else {
    delivery.text = device.slot(index);
    delivery.number = drez_string::toInt(delivery.text.c_str());
    delivery.description = label + " slot " + std::to_string(index) + ": " +
                           quoteText(delivery.text) + " (number " +
                           std::to_string(delivery.number) + ")";
  }
  return delivery;
}

void SimulatedHost::broadcast(const Device& device, int32_t index) {
  for (Script* script : scripts()) {
    if (script->deleting) continue;
    if (!script->registrations.covers(device.kind, device.number, index)) continue;
    Delivery delivery = update(device, index);
    delivery.scriptId = script->id;
    dispatch(delivery);
  }
}

void SimulatedHost::dispatch(const Delivery& delivery) {
  const Script* script = findScript(delivery.scriptId);
  const bool reachable = script != nullptr && script->object != nullptr && !script->deleting;
  if (frames_.empty() || (polls_ == PollDelivery::Reentrant && reachable)) {
    deliver(delivery);
  } else {
    frames_.back().deferred.push_back(delivery);
  }
}

void SimulatedHost::onCommand(const std::string& command, std::function<void()> change) {
  triggers_.emplace_back(command, std::move(change));
}

std::vector<std::string> SimulatedHost::pendingTriggers() const {
  std::vector<std::string> commands;
  for (const auto& trigger : triggers_) commands.push_back(trigger.first);
  return commands;
}

void SimulatedHost::deliver(const Delivery& delivery) {
  Script* script = findScript(delivery.scriptId);
  if (script == nullptr || script->object == nullptr || script->deleting) {
    trace_.note(static_cast<int>(frames_.size()),
                "(" + delivery.description + " not delivered: the script is gone)");
    return;
  }
  DeviceUpdateRecord record(delivery.device, delivery.index, delivery.number, delivery.text);
  callInto(*script, delivery.description,
           [&] { checkResult(script->object->callback(record.get(), CB_DEVICE_UPDATE)); });
}

std::vector<std::string> SimulatedHost::takeCommands() {
  std::vector<std::string> sent;
  sent.swap(sent_);
  return sent;
}

intptr_t DREZ_THISCALL SimulatedHost::command(const char* text, int kind) {
  if (kind == HOST_CMD_RELEASE) {
    releaseReply(text);
    return 0;
  }
  if (kind == HOST_CMD_EXECUTE && text != nullptr) return executeCommand(text);
  validator_.error(context() + ": " +
                   (kind != HOST_CMD_EXECUTE ? "command of unknown kind " + std::to_string(kind)
                                             : std::string("command with a null text")));
  return 0;
}

intptr_t SimulatedHost::executeCommand(const char* text) {
  const std::string command_text(text);
  sent_.push_back(command_text);
  const std::optional<std::string> answer = respond(command_text);
  afterExecute(command_text);
  if (!carriesReply(command_text)) return answer ? 1 : 0;
  return answer ? reinterpret_cast<intptr_t>(ledger_.handOut(*answer, command_text)) : 0;
}

void SimulatedHost::releaseReply(const char* reply) {
  const std::string* answered = ledger_.commandOf(reply);
  const Script* script = current();
  const int entry = trace_.entry(
      static_cast<int>(frames_.size()), script != nullptr ? script->name : "",
      answered != nullptr ? "release the reply to " + *answered : "release " + pointerText(reply));
  if (std::optional<std::string> fault = ledger_.takeBack(reply)) {
    validator_.error("#" + std::to_string(entry) + " release: " + *fault);
  }
  reported_.erase(std::remove(reported_.begin(), reported_.end(), reply), reported_.end());
}

std::optional<std::string> SimulatedHost::respond(const std::string& text) {
  Script* sender = current();
  findings_.clear();
  answers_.clear();
  std::optional<std::string> answer;
  std::string error;
  if (sender == nullptr) {
    fail("a command outside any call into a script");
  } else if (sender->detached) {
    fail("a command after AS: the script had already detached; ignored");
  } else if (std::optional<HostCommand> parsed = parseHostCommand(text, &error)) {
    answer = execute(sender, *parsed);
  } else {
    fail(error);
  }
  std::string line = text;
  if (carriesReply(text)) {
    line += answer ? "  => " + quoteText(*answer) : "  => no reply";
  } else if (text.compare(0, 2, "PS") == 0) {
    line += answer ? "  => 1" : "  => 0";
  }
  const int depth = static_cast<int>(frames_.size());
  const int entry = trace_.entry(depth, sender != nullptr ? sender->name : "", line);
  const std::string where = "#" + std::to_string(entry) + " " + text;
  std::vector<Finding> findings;
  findings.swap(findings_);
  for (const Finding& finding : findings) {
    if (finding.note) {
      trace_.note(depth + 1, "(" + finding.message + ")");
    } else if (finding.severity == Severity::Error) {
      validator_.error(where + ": " + finding.message);
    } else {
      validator_.warning(where + ": " + finding.message);
    }
  }
  return answer;
}

void SimulatedHost::afterExecute(const std::string& text) {
  std::vector<Delivery> answers;
  answers.swap(answers_);
  for (const Delivery& answer : answers) dispatch(answer);
  auto trigger = std::find_if(triggers_.begin(), triggers_.end(),
                              [&](const auto& held) { return held.first == text; });
  if (trigger == triggers_.end()) return;
  const std::function<void()> change = std::move(trigger->second);
  triggers_.erase(trigger);
  trace_.note(static_cast<int>(frames_.size()) + 1,
              "(the studio changes while the script is in this command)");
  change();
}

}  // namespace drezhost
