// What the simulated host does for each command of the vocabulary.

#include <algorithm>

#include "simulator/installation_learner.h"
#include "simulator/simulated_host.h"

namespace drezhost {

namespace {

std::string quoted(const std::string& text) { return "'" + shownText(text) + "'"; }

// The two letters of a command code as one number, for a switch.
constexpr int codeKey(const char* code) {
  return (static_cast<unsigned char>(code[0]) << 8) | static_cast<unsigned char>(code[1]);
}

DeviceKind familyOf(const std::string& code) {
  return code[0] == 'R' ? DeviceKind::Router : DeviceKind::Infodriver;
}

}  // namespace

std::optional<std::string> SimulatedHost::execute(Script* sender, const HostCommand& command) {
  std::optional<std::string> done = std::string();
  // A switch on the two letters: this runs for every command a script sends.
  switch (codeKey(command.code.c_str())) {
    case codeKey("PS"):
      if (installation_.loadPanel(command.text(0), command.text(1))) return done;
      if (learner_ != nullptr) {
        learner_->addPanelFile(command.text(1));
        if (installation_.loadPanel(command.text(0), command.text(1))) return done;
      }
      warn("no panel file " + quoted(command.text(1)));
      return std::nullopt;
    case codeKey("TP"):
    case codeKey("TG"):
    case codeKey("XI"):
      return executeProperty(command);
    case codeKey("SD"):
      return executeLookup(command);
    case codeKey("GS"):
      if (Device* device = deviceFor(command.number(0), DeviceKind::Outputs, command.number(1),
                                     command.number(1))) {
        device->outputs[command.number(1)] = command.number(2);
      }
      return done;
    case codeKey("IR"):
    case codeKey("RR"):
    case codeKey("IU"):
    case codeKey("RU"):
      executeRegistration(*sender, command);
      return done;
    case codeKey("IP"):
    case codeKey("RP"):
      executePoll(*sender, command);
      return done;
    case codeKey("ET"): {
      auto& pending = sender->unacknowledgedEvents;
      auto found = std::find(pending.begin(), pending.end(), command.number(0));
      if (found != pending.end()) {
        pending.erase(found);
      } else {
        warn("event id " + std::to_string(command.number(0)) +
             " is not waiting for acknowledgement");
      }
      return done;
    }
    case codeKey("AS"):
      sender->detached = true;
      return done;
    default:
      return done;
  }
}

void SimulatedHost::keepTrack(Script& sender, const HostCommand& command) {
  switch (codeKey(command.code.c_str())) {
    case codeKey("IR"):
    case codeKey("RR"):
    case codeKey("IU"):
    case codeKey("RU"):
      executeRegistration(sender, command);
      return;
    case codeKey("ET"): {
      auto& pending = sender.unacknowledgedEvents;
      auto found = std::find(pending.begin(), pending.end(), command.number(0));
      if (found != pending.end()) pending.erase(found);
      return;
    }
    case codeKey("AS"):
      sender.detached = true;
      return;
    default:
      return;
  }
}

std::optional<std::string> SimulatedHost::executeLookup(const HostCommand& command) {
  if (!answer_lookups_) {
    note("this host answers no lookups");
    return std::nullopt;
  }
  const DeviceName* entry = installation_.findName(command.text(0));
  if (entry == nullptr && learner_ != nullptr) {
    const DeviceName learned = learner_->lookup(command.text(0));
    return std::to_string(learned.number) + " " + std::to_string(learned.offset);
  }
  if (entry == nullptr) {
    warn("no device named " + quoted(command.text(0)));
    return std::nullopt;
  }
  return std::to_string(entry->number) + " " + std::to_string(entry->offset);
}

std::optional<std::string> SimulatedHost::executeProperty(const HostCommand& command) {
  const std::string& code = command.code;
  const std::string& panelId = command.text(code == "TP" ? 1 : 0);
  Panel* loaded = installation_.panel(panelId);
  if (loaded == nullptr) {
    warn("no panel " + quoted(panelId) + " is loaded");
    return std::nullopt;
  }
  if (code == "XI") {
    std::string ids;
    for (const Control& control : loaded->controls) {
      if (control.id.find(command.text(1)) == std::string::npos) continue;
      if (!ids.empty()) ids += ',';
      ids += control.id;
    }
    return ids;
  }
  const std::string& controlId = command.text(code == "TP" ? 2 : 1);
  if (learner_ != nullptr) learner_->addControl(panelId, controlId);
  Control* control = loaded->control(controlId);
  if (control == nullptr) {
    warn("panel " + quoted(panelId) + " has no control " + quoted(controlId));
    return std::nullopt;
  }
  if (code == "TP") {
    const std::string& assignment = command.text(0);
    const std::size_t equals = assignment.find('=');
    control->setProperty(assignment.substr(0, equals), assignment.substr(equals + 1));
    return std::string();
  }
  const std::string& property = command.text(2);
  if (property != "all") return property + "=" + control->property(property);
  std::string all;
  for (const auto& entry : control->properties) {
    if (!all.empty()) all += '\n';
    all += entry.first + "=" + entry.second;
  }
  return all;
}

void SimulatedHost::executeRegistration(Script& sender, const HostCommand& command) {
  const DeviceKind kind = familyOf(command.code);
  if (command.code[1] == 'U') {
    if (sender.registrations.remove(kind, command.number(0)) == 0) {
      note(std::string("nothing left registered for ") + kindName(kind) + " " +
           std::to_string(command.number(0)));
    }
    return;
  }
  if (recorded_ == nullptr)
    deviceFor(command.number(0), kind, command.number(1), command.number(2));
  Registration registration;
  registration.kind = kind;
  registration.device = command.number(0);
  registration.first = command.number(1);
  registration.last = command.number(2);
  if (registration.first > registration.last) warn("the range is empty");
  sender.registrations.add(registration);  // 'ADD' or not: ranges accumulate
}

void SimulatedHost::executePoll(Script& sender, const HostCommand& command) {
  const Device* device =
      deviceFor(command.number(0), familyOf(command.code), command.number(1), command.number(2));
  if (device == nullptr) return;
  if (polls_ == PollDelivery::Off) {
    note("this host answers no polls");
    return;
  }
  const int32_t first = std::max(command.number(1), 1);
  const int32_t last = std::min(command.number(2), device->size);
  for (int32_t index = first; index <= last; ++index) {
    Delivery answer = update(*device, index);
    answer.scriptId = sender.id;
    answers_.push_back(answer);
  }
  if (answers_.empty()) note("nothing in that range to answer");
}

Device* SimulatedHost::deviceFor(int32_t number, DeviceKind kind, int32_t first, int32_t last) {
  if (learner_ != nullptr) learner_->use(number, kind, first, last);
  Device* device = installation_.findDevice(number);
  if (device == nullptr) {
    warn("no device " + std::to_string(number));
    return nullptr;
  }
  if (device->kind != kind) {
    warn("device " + std::to_string(number) + " (" + installation_.label(number) + ") is " +
         kindDescription(device->kind) + ", not " + kindDescription(kind));
    return nullptr;
  }
  return device;
}

}  // namespace drezhost
