#include "simulator/simulated_host.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "drez_string.h"
#include "simulator/installation_learner.h"
#include "simulator/recorded_answers.h"
#include "simulator/records_builder.h"

namespace drezhost {

namespace {

// How many held replies one call reports one by one; the rest are counted.
constexpr std::size_t kHeldRepliesShown = 10;
// How many calls of a chain are shown at each end.
constexpr std::size_t kChainEnds = 3;

}  // namespace

SimulatedHost::SimulatedHost(Installation& installation, Trace& trace, Validator& validator)
    : installation_(installation), trace_(trace), validator_(validator) {}

SimulatedHost::~SimulatedHost() {
  while (!scripts_.empty()) destroy(*scripts_.front());
}

std::optional<std::string> SimulatedHost::implausibleScript(const drez_client_callback* object,
                                                            const Script& created) const {
  const auto address = reinterpret_cast<uintptr_t>(object);
  if (address < 65536)
    return "the export returned " + std::to_string(address) + ", an address no object can have";
  if (address % alignof(void*) != 0) return std::string("the export returned a misaligned address");
  for (const auto& other : scripts_) {
    if (other.get() != &created && other->object == object) {
      return "the export returned the script object of " + other->name +
             ", which is still alive: each call must create a new script";
    }
  }
  // The object's first word is its virtual table, whose slots 0 and 1 the
  // host calls.
  const void* table = nullptr;
  std::memcpy(&table, static_cast<const void*>(object), sizeof table);
  const auto tableAddress = reinterpret_cast<uintptr_t>(table);
  if (tableAddress < 65536 || tableAddress % alignof(void*) != 0) {
    return std::string("the export returned an object without a virtual table");
  }
  const void* slots[2] = {nullptr, nullptr};
  std::memcpy(slots, table, sizeof slots);
  if (slots[0] == nullptr || slots[1] == nullptr) {
    return std::string("the export returned an object whose virtual table has empty slots");
  }
  return std::nullopt;
}

// Holds hostSettled() back while one of the host's own operations still
// has deliveries to make after a call into a script is over.
class SimulatedHost::Busy {
 public:
  explicit Busy(SimulatedHost& host) : host_(host) { ++host_.busy_; }
  ~Busy() {
    if (--host_.busy_ == 0 && host_.frames_.empty()) host_.settled();
  }
  Busy(const Busy&) = delete;
  Busy& operator=(const Busy&) = delete;

 private:
  SimulatedHost& host_;
};

void SimulatedHost::settled() {
  for (HostObserver* observer : observers_) observer->hostSettled();
}

Script* SimulatedHost::create(const std::string& name, const ScriptFactory& factory,
                              const std::string& path) {
  const Busy busy(*this);
  scripts_.push_back(std::make_unique<Script>());
  Script& script = *scripts_.back();
  script.id = next_id_++;
  script.name = name;
  if (scripts_.size() > 1) trace_.setShowScripts(true);
  const std::string what =
      "create " + name + ": load_drez_client_script(host, " + quoteText(path) + ")";
  drez_client_callback* object = nullptr;
  rejected_ = false;
  const std::string context =
      contextOf(callInto(script, HostCall::exporting(), what,
                         [&] {
                           object = factory(this, path.c_str());
                           if (object == nullptr)
                             validator_.error(this->context() + ": the export returned null");
                         }),
                what);
  if (object != nullptr) {
    if (std::optional<std::string> why = implausibleScript(object, script)) {
      validator_.error(context + ": " + *why);
      rejected_ = true;
    } else {
      script.object = object;
      // What was deferred to the end of the export could not reach the
      // script yet: it goes now.
      std::vector<Delivery> waiting;
      waiting.swap(startup_);
      for (const Delivery& delivery : waiting) deliver(delivery);
      return &script;
    }
  }
  startup_.clear();
  scripts_.erase(
      std::find_if(scripts_.begin(), scripts_.end(),
                   [&](const std::unique_ptr<Script>& held) { return held.get() == &script; }));
  return nullptr;
}

void SimulatedHost::destroy(Script& script) {
  script.deleting = true;
  drez_client_callback* object = script.object;
  const std::string what = "delete " + script.name;
  const std::string context = contextOf(
      callInto(script, HostCall::deleting(), what, [&] { drez_delete_script(object); }), what);
  script.object = nullptr;
  if (!script.detached) {
    validator_.error(context + ": the script was deleted without sending " + codeOf(DREZ_DETACH));
  }
  for (const Registration& registration : script.registrations.open()) {
    validator_.error(context + ": registration " + registration.describe() +
                     " was still open when the script was deleted");
  }
  for (int32_t id : script.unacknowledgedEvents) {
    validator_.warning(context + ": event id " + std::to_string(id) +
                       " was never acknowledged with " + codeOf(DREZ_END_EVENT));
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
  alive.reserve(scripts_.size());
  for (const auto& script : scripts_) alive.push_back(script.get());
  return alive;
}

Script* SimulatedHost::current() {
  return frames_.empty() ? nullptr : findScript(frames_.back().scriptId);
}

std::string SimulatedHost::context() const {
  return frames_.empty() ? std::string("outside any call into a script")
                         : contextOf(frames_.back());
}

std::string SimulatedHost::chain() const {
  std::string text;
  for (std::size_t i = 0; i < frames_.size(); ++i) {
    if (i == kChainEnds && frames_.size() > 2 * kChainEnds) {
      text += "\n      ... " + std::to_string(frames_.size() - 2 * kChainEnds) + " more calls";
      i = frames_.size() - kChainEnds;
    }
    const Frame& frame = frames_[i];
    text += "\n      " + contextOf(frame);
    if (frame.commandLevel >= 0) {
      text += "\n        sent " +
              shownText(command_buffers_[static_cast<std::size_t>(frame.commandLevel)]->text);
    }
  }
  return text;
}

void SimulatedHost::appendContext(std::string& out, int entry, const std::string& what) {
  // Made at every call: "#<entry> " and `what` copied into room made once.
  char head[16] = {'#'};
  char* end = std::to_chars(head + 1, head + sizeof head - 1, entry).ptr;
  *end++ = ' ';
  const std::size_t headSize = static_cast<std::size_t>(end - head);
  const std::size_t at = out.size();
  out.resize(at + headSize + what.size());
  std::memcpy(&out[at], head, headSize);
  std::memcpy(&out[at + headSize], what.data(), what.size());
}

std::string SimulatedHost::contextOf(int entry, const std::string& what) {
  std::string context;
  appendContext(context, entry, what);
  return context;
}

int SimulatedHost::callInto(Script& script, const HostCall& call, const std::string& what,
                            CallBody body) {
  // What the calling call wrote is its own, not this one's.
  if (!frames_.empty()) takeDebugLines(false);
  const int entry = trace_.entry(depth(), script.name, what);
  Frame frame;
  frame.scriptId = script.id;
  frame.entry = entry;
  frame.what = &what;
  frame.firstReply = ledger_.nextNumber();
  frames_.push_back(std::move(frame));
  // The outermost call holds everything nested in it and what is deferred
  // to its end: a loop of queued deliveries is one call that does not end.
  const bool outermost = !in_outermost_;
  if (outermost) {
    if (foreign_arrived_.load(std::memory_order_acquire)) {
      reportForeignCommands("before " + contextOf(frames_.back()));
    }
    in_outermost_ = true;
    outermost_commands_ = 0;
    runaway_ = false;
  }
  // The observers copy what they keep of it.
  call_context_.clear();
  appendContext(call_context_, entry, what);
  if (outermost) {
    for (HostObserver* observer : observers_) observer->outermostCallBegan(call_context_);
  }
  for (HostObserver* observer : observers_) observer->enteringCall(call, call_context_);
  try {
    body();
  } catch (const std::exception& exception) {
    validator_.error(context() +
                     ": an exception escaped the script: " + shownText(exception.what()));
  } catch (...) {
    validator_.error(context() + ": an exception escaped the script");
  }
  takeDebugLines(false);
  for (HostObserver* observer : observers_) observer->leftCall();
  Frame done = std::move(frames_.back());
  frames_.pop_back();
  checkHeldReplies(done);
  if (frames_.empty() && too_deep_ != 0) {
    trace_.note(0, "(" + std::to_string(too_deep_) +
                       " deliveries were not made: the calls nested too deeply)");
    too_deep_ = 0;
  }
  // The export's deferred deliveries wait for the script to be known.
  if (call.what == HostCall::What::Export && frames_.empty()) {
    startup_ = std::move(done.deferred);
  } else {
    for (const Delivery& delivery : done.deferred) deliver(delivery);
  }
  if (outermost) {
    takeDebugLines(true);
    if (runaway_) {
      trace_.note(0, "(" + std::to_string(outermost_commands_ - max_commands_) +
                         " more commands of this call were ignored)");
    }
    in_outermost_ = false;
    if (foreign_arrived_.load(std::memory_order_acquire)) reportForeignCommands(contextOf(done));
    for (HostObserver* observer : observers_) observer->outermostCallEnded();
    if (busy_ == 0) settled();
  }
  return entry;
}

void SimulatedHost::takeDebugLines(bool flush) {
  if (debug_ == nullptr) return;
  std::vector<std::string> lines;
  debug_->take(lines, flush);
  for (const std::string& line : lines) {
    ++debug_lines_;
    trace_.debug(depth(), "debug: " + shownText(line));
    if (isDroppedEventLine(line)) {
      validator_.error(context() +
                       ": the script's handler failed and the event was lost: " + shownText(line));
    }
  }
}

void SimulatedHost::reportForeignCommands(const std::string& during) {
  if (!foreign_arrived_.load(std::memory_order_acquire)) return;
  std::size_t count = 0;
  std::string first;
  {
    std::lock_guard<std::mutex> lock(foreign_mutex_);
    foreign_arrived_.store(false, std::memory_order_relaxed);
    std::swap(count, foreign_commands_);
    first.swap(first_foreign_command_);
  }
  if (count == 0) return;
  validator_.error(during + ": " + std::to_string(count) + (count == 1 ? " command" : " commands") +
                   " arrived from a thread other than the host's, which accepts commands only "
                   "on its own thread, during its calls; ignored. The first: " +
                   shownText(first));
}

void SimulatedHost::checkHeldReplies(const Frame& done) {
  std::size_t unreported = 0;
  for (const char* reply : ledger_.heldSince(done.firstReply)) {
    if (ledger_.reported(reply)) continue;
    ledger_.markReported(reply);
    if (++unreported > kHeldRepliesShown) continue;
    validator_.error(contextOf(done) + ": the script still held " + ledger_.describe(reply) +
                     ", the reply to " + shownText(*ledger_.commandOf(reply)) +
                     ", when its call returned");
  }
  if (unreported > kHeldRepliesShown) {
    validator_.error(contextOf(done) + ": the script still held " +
                     std::to_string(unreported - kHeldRepliesShown) +
                     " more replies when its call returned");
  }
}

void SimulatedHost::checkResult(const char* result) {
  if (result != nullptr) {
    validator_.error(context() + ": the script returned a non-null result where none is expected");
  }
}

std::optional<std::string> SimulatedHost::request(Script& script, const std::string& text) {
  const char* reply = nullptr;
  CallBuffers& buffers = callBuffers();
  buffers.request.assign(text);
  std::string& what = buffers.what;
  what += "request ";
  appendQuoted(what, text);
  callInto(script, HostCall::callback(CB_HOST_REQUEST), what,
           [&] { reply = script.object->callback(buffers.request.data(), CB_HOST_REQUEST); });
  if (reply == nullptr) {
    if (trace_.active()) trace_.note(depth() + 1, "<= no reply");
    return std::nullopt;
  }
  std::string answer(reply);
  if (trace_.active()) trace_.note(depth() + 1, "<= reply " + quoteText(answer));
  what.clear();
  what += "release the reply ";
  appendQuoted(what, answer);
  callInto(script, HostCall::callback(CB_RELEASE_REPLY), what, [&] {
    checkResult(script.object->callback(const_cast<char*>(reply), CB_RELEASE_REPLY));
  });
  return answer;
}

const char* SimulatedHost::rawCall(Script& script, int kind, void* data, const std::string& what) {
  const char* result = nullptr;
  callInto(script, HostCall::callback(kind), what,
           [&] { result = script.object->callback(data, kind); });
  return result;
}

void SimulatedHost::deliverUpdate(Script& script, int32_t device, int32_t index, int32_t number,
                                  const std::string& text) {
  DeviceUpdateRecord record(device, index, number, text);
  callInto(script, HostCall::callback(CB_DEVICE_UPDATE),
           "device update " + shownText(installation_.label(device)) + " (" +
               std::to_string(device) + ") " + std::to_string(index) + ": " + quoteText(text) +
               " (number " + std::to_string(number) + ")",
           [&] { checkResult(script.object->callback(record.get(), CB_DEVICE_UPDATE)); });
}

void SimulatedHost::fireEvent(Script& script, int32_t id) {
  script.unacknowledgedEvents.push_back(id);
  std::string& what = callBuffers().what;
  what += "event id ";
  appendNumber(what, id);
  callInto(script, HostCall::callback(CB_EVENT_ID), what, [&] {
    checkResult(
        script.object->callback(reinterpret_cast<void*>(static_cast<intptr_t>(id)), CB_EVENT_ID));
  });
}

void SimulatedHost::controlEvent(Script& script, const std::string& control,
                                 const std::string& command) {
  ControlEventRecord record(control, command);
  for (HostObserver* observer : observers_) observer->controlEventSent(control);
  callInto(script, HostCall::callback(CB_CONTROL_EVENT),
           "control event " + shownText(control) + " " + quoteText(command),
           [&] { checkResult(script.object->callback(record.get(), CB_CONTROL_EVENT)); });
}

void SimulatedHost::notify(Script& script, int kind, intptr_t value) {
  callInto(script, HostCall::callback(kind),
           "notify " + std::to_string(kind) + " (value " + std::to_string(value) + ")",
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

SimulatedHost::Delivery SimulatedHost::update(const Device& device, int32_t index) {
  Delivery delivery;
  update(device, index, delivery);
  return delivery;
}

void SimulatedHost::update(const Device& device, int32_t index, Delivery& delivery) {
  delivery.scriptId = 0;
  delivery.device = device.number;
  delivery.index = index;
  delivery.made = ++states_read_;
  delivery.answersPoll = false;
  // Made for every delivery, so appended into one string.
  std::string& description = delivery.description;
  description.clear();
  description += "device update ";
  appendShown(description, installation_.label(device.number));
  description += " (";
  appendNumber(description, device.number);
  // Read in place into the delivery's room: no copy of the state between.
  if (device.kind == DeviceKind::Router) {
    if (const Route* route = device.findRoute(index)) {
      delivery.number = route->source;
      delivery.text.assign(route->name);
    } else {
      delivery.number = 0;
      delivery.text.clear();
    }
    description += ") destination ";
    appendNumber(description, index);
    description += ": source ";
    appendNumber(description, delivery.number);
    description += ' ';
    appendQuoted(description, delivery.text);
  } else {
    if (const std::string* text = device.findSlot(index)) {
      delivery.text.assign(*text);
    } else {
      delivery.text.clear();
    }
    delivery.number = drez_string::toInt(delivery.text.c_str());
    description += ") slot ";
    appendNumber(description, index);
    description += ": ";
    appendQuoted(description, delivery.text);
    description += " (number ";
    appendNumber(description, delivery.number);
    description += ')';
  }
}

SimulatedHost::CallBuffers& SimulatedHost::callBuffers() {
  const std::size_t level = frames_.size();
  while (level >= call_buffers_.size()) call_buffers_.push_back(std::make_unique<CallBuffers>());
  CallBuffers& buffers = *call_buffers_[level];
  buffers.what.clear();
  return buffers;
}

void SimulatedHost::broadcast(const Device& device, int32_t index) {
  const Busy busy(*this);
  for (const auto& script : scripts_) {
    if (script->deleting) continue;
    if (!script->registrations.covers(device.kind, device.number, index)) continue;
    Delivery& delivery = callBuffers().delivery;
    update(device, index, delivery);
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
  triggers_[command].push_back(Trigger{triggers_set_++, std::move(change)});
}

void SimulatedHost::onNextCommand(std::function<void()> change) {
  next_command_trigger_ = std::move(change);
}

std::vector<std::string> SimulatedHost::pendingTriggers() const {
  std::vector<std::pair<std::size_t, std::string>> pending;
  for (const auto& entry : triggers_) {
    for (const Trigger& trigger : entry.second) pending.emplace_back(trigger.order, entry.first);
  }
  std::sort(pending.begin(), pending.end());
  std::vector<std::string> commands;
  commands.reserve(pending.size());
  for (auto& entry : pending) commands.push_back(std::move(entry.second));
  return commands;
}

void SimulatedHost::deliver(const Delivery& queued) {
  Script* script = findScript(queued.scriptId);
  if (script == nullptr || script->object == nullptr || script->deleting) {
    trace_.note(depth(), "(" + queued.description + " not delivered: the script is gone)");
    return;
  }
  // A delivery the script misses: what it was told of the index is no
  // longer what the host stands by.
  const std::pair<int32_t, int32_t> index(queued.device, queued.index);
  if (runaway_) {
    script->delivered.erase(index);
    return;
  }
  if (static_cast<int>(frames_.size()) >= max_depth_) {
    script->delivered.erase(index);
    if (too_deep_++ == 0) {
      validator_.error(context() + ": calls into scripts nested " + std::to_string(max_depth_) +
                       " deep: " + queued.description +
                       " was not delivered, nor is anything else until the host's call "
                       "returns. The chain of calls:" +
                       chain());
    }
    return;
  }
  if (too_deep_ != 0) {
    script->delivered.erase(index);
    ++too_deep_;
    return;
  }
  // A poll's answer, and a change the script was already told a newer
  // state of, go as the device is now.
  const Device* device = installation_.findDevice(queued.device);
  const auto [entry, first] = script->delivered.try_emplace(index);
  const bool overtaken = !first && entry->second.made > queued.made;
  const Delivery* delivery = &queued;
  Delivery refreshed;
  if (device != nullptr && (queued.answersPoll || overtaken)) {
    refreshed = update(*device, queued.index);
    refreshed.scriptId = queued.scriptId;
    delivery = &refreshed;
  }
  DeliveredState& told = entry->second;
  told.made = delivery->made;
  told.number = delivery->number;
  told.text = delivery->text;
  told.followed = device != nullptr &&
                  script->registrations.covers(device->kind, device->number, delivery->index);
  if (device != nullptr) {
    for (HostObserver* observer : observers_) observer->updateDelivered(*device, delivery->index);
  }
  DeviceUpdateRecord record(delivery->device, delivery->index, delivery->number, delivery->text);
  callInto(*script, HostCall::callback(CB_DEVICE_UPDATE), delivery->description,
           [&] { checkResult(script->object->callback(record.get(), CB_DEVICE_UPDATE)); });
}

std::vector<StateBreach> SimulatedHost::deliveredStateBreaches() const {
  std::vector<StateBreach> breaches;
  for (const auto& script : scripts_) {
    if (script->object == nullptr || script->deleting) continue;
    for (const auto& entry : script->delivered) {
      const Device* device = installation_.findDevice(entry.first.first);
      const int32_t index = entry.first.second;
      if (device == nullptr || device->kind == DeviceKind::Outputs) continue;
      if (!entry.second.followed) continue;
      if (!script->registrations.covers(device->kind, device->number, index)) continue;
      StateBreach breach;
      if (device->kind == DeviceKind::Router) {
        const Route route = device->route(index);
        breach.number = route.source;
        breach.text = route.name;
      } else {
        breach.text = device->slot(index);
        breach.number = drez_string::toInt(breach.text.c_str());
      }
      const DeliveredState& told = entry.second;
      if (told.number == breach.number && told.text == breach.text) continue;
      breach.script = script->name;
      breach.device = device->number;
      breach.index = index;
      breach.told = told;
      const bool router = device->kind == DeviceKind::Router;
      auto state = [&](int32_t number, const std::string& text) {
        return router ? "source " + std::to_string(number) + " " + quoteText(text)
                      : quoteText(text) + " (number " + std::to_string(number) + ")";
      };
      breach.message =
          script->name + " was left believing " + shownText(installation_.label(device->number)) +
          " (" + std::to_string(device->number) + ") " + (router ? "destination " : "slot ") +
          std::to_string(index) + ": " + state(told.number, told.text) + ", while the " +
          (router ? "router routes " : "infodriver holds ") + state(breach.number, breach.text);
      breaches.push_back(std::move(breach));
    }
  }
  return breaches;
}

std::vector<std::string> SimulatedHost::takeCommands() {
  std::vector<std::string> sent = sent_.texts();
  sent_.clear();
  return sent;
}

void SimulatedHost::takeCommands(CommandWindow& window) {
  window.swap(sent_);
  sent_.clear();
}

void SimulatedHost::forgetCommands() { sent_.clear(); }

intptr_t DREZ_THISCALL SimulatedHost::command(const char* text, int kind) {
  if (std::this_thread::get_id() != thread_) {
    // Nothing of the host is touched from another thread: it is counted,
    // and reported on the host's thread.
    std::lock_guard<std::mutex> lock(foreign_mutex_);
    foreign_arrived_.store(true, std::memory_order_release);
    if (foreign_commands_++ == 0) {
      first_foreign_command_ = text == nullptr ? "(a null text)" : std::string(text).substr(0, 400);
    }
    return 0;
  }
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
  const drez_command_row* definition = drez_find_command(text);
  const bool carriesReply = definition != nullptr && definition->result == DREZ_RESULT_REPLY;
  if (in_outermost_ && ++outermost_commands_ > max_commands_) {
    if (!runaway_) {
      runaway_ = true;
      validator_.error(context() + ": the script sent more than " + std::to_string(max_commands_) +
                       " commands in one call of the host (--max-commands): a runaway loop. "
                       "The rest of the call's commands are ignored, and nothing more is "
                       "delivered until it returns");
    }
    return 0;
  }
  // The trace shows what the script wrote before each command, in its
  // place; with no trace, what a call wrote is taken when it returns or
  // calls further, which costs no look at every command.
  if (trace_.active()) takeDebugLines(false);
  // The text and its parse go into this nesting level's buffers, whose room
  // serves the next command at the level: no heap block per command.
  const auto level = static_cast<std::size_t>(commands_active_);
  if (level == command_buffers_.size()) {
    command_buffers_.push_back(std::make_unique<CommandBuffers>(level));
  }
  CommandBuffers& buffers = *command_buffers_[level];
  buffers.text.assign(text);
  const std::string& command_text = buffers.text;
  Script* sender = current();
  sent_.add(command_text, sender != nullptr ? std::string_view(sender->name) : std::string_view());
  if (!frames_.empty()) frames_.back().commandLevel = static_cast<int>(level);
  for (HostObserver* observer : observers_) observer->commandSent(command_text);
  ++commands_active_;
  const bool succeeded = respond(sender, command_text, definition, buffers);
  afterExecute(command_text);
  --commands_active_;
  if (recorded_ != nullptr && !carriesReply) return recorded_result_;
  if (!carriesReply) return succeeded ? 1 : 0;
  return succeeded ? reinterpret_cast<intptr_t>(ledger_.handOut(buffers.reply, command_text)) : 0;
}

void SimulatedHost::releaseReply(const char* reply) {
  const std::string* answered = ledger_.commandOf(reply);
  Script* script = current();
  if (recorded_ != nullptr && script != nullptr) recorded_->handedBack(*script);
  const int entry =
      trace_.entry(depth(), script != nullptr ? script->name : "",
                   answered != nullptr ? "release the reply to " + shownText(*answered)
                                       : "release " + ledger_.describe(reply));
  if (std::optional<std::string> fault = ledger_.takeBack(reply)) {
    validator_.error("#" + std::to_string(entry) + " release: " + *fault);
  }
}

bool SimulatedHost::respond(Script* sender, const std::string& text,
                            const drez_command_row* definition, CommandBuffers& buffers) {
  const bool carriesReply = definition != nullptr && definition->result == DREZ_RESULT_REPLY;
  findings_.clear();
  answers_.clear();
  std::string& reply = buffers.reply;
  bool succeeded = false;
  if (sender == nullptr) {
    fail("a command outside any call into a script");
  } else if (sender->detached) {
    fail(std::string("a command after ") + codeOf(DREZ_DETACH) +
         ": the script had already detached; ignored");
  } else if (const HostCommand* parsed = buffers.parse(text, &buffers.error)) {
    for (HostObserver* observer : observers_) observer->commandRead(*parsed);
    if (recorded_ != nullptr) {
      keepTrack(*sender, *parsed);
    } else {
      succeeded = execute(*sender, *parsed, reply);
    }
  } else {
    fail(buffers.error);
  }
  if (recorded_ != nullptr && sender != nullptr) {
    RecordedAnswers::Answer recorded = recorded_->answer(*sender, text);
    recorded_result_ = recorded.result;
    succeeded = !carriesReply || recorded.reply.has_value();
    reply = recorded.reply ? std::move(*recorded.reply) : std::string();
  }
  const int level = depth() - 1;
  int entry = 0;
  if (trace_.active()) {
    std::string line = shownText(text);
    if (carriesReply) {
      line += succeeded ? "  => " + quoteText(reply) : "  => no reply";
    } else if (recorded_ != nullptr) {
      line += "  => " + std::to_string(recorded_result_);
    } else if (definition != nullptr && definition->result == DREZ_RESULT_STATUS) {
      line += succeeded ? "  => 1" : "  => 0";
    }
    entry = trace_.entry(level, sender != nullptr ? sender->name : "", line);
  } else {
    entry = trace_.countEntry();
  }
  if (findings_.empty()) return succeeded;
  std::vector<Finding> findings;
  findings.swap(findings_);
  const std::string where = "#" + std::to_string(entry) + " " + shownText(text);
  for (const Finding& finding : findings) {
    if (finding.note) {
      trace_.note(level + 1, "(" + finding.message + ")");
    } else if (finding.severity == Severity::Error) {
      validator_.error(where + ": " + finding.message);
    } else {
      validator_.warning(where + ": " + finding.message);
    }
  }
  return succeeded;
}

void SimulatedHost::afterExecute(const std::string& text) {
  if (recorded_ != nullptr) {
    if (Script* sender = current()) recorded_->inside(*sender, text);
    return;
  }
  if (!answers_.empty()) {
    std::vector<Delivery> answers;
    answers.swap(answers_);
    for (const Delivery& answer : answers) dispatch(answer);
  }
  if (!next_command_trigger_ && triggers_.empty()) return;
  std::function<void()> change;
  std::string fired;
  if (next_command_trigger_) {
    change = std::move(next_command_trigger_);
    next_command_trigger_ = nullptr;
    fired = "(the next command)";
  } else if (!triggers_.empty()) {
    auto trigger = triggers_.find(text);
    if (trigger == triggers_.end()) return;
    change = std::move(trigger->second.front().change);
    trigger->second.pop_front();
    if (trigger->second.empty()) triggers_.erase(trigger);
    fired = text;
  } else {
    return;
  }
  for (HostObserver* observer : observers_) observer->triggerFired(fired);
  trace_.note(depth(), "(the studio changes while the script is in this command)");
  change();
}

}  // namespace drezhost
