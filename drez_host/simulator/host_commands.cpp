// What the simulated host does for each command of the vocabulary: one row
// per command of abi/drez_commands.h, at the command's id, so that a
// command without its behaviour does not compile.

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "simulator/installation_learner.h"
#include "simulator/simulated_host.h"

namespace drezhost {

namespace {

std::string quoted(const std::string& text) { return "'" + shownText(text) + "'"; }

}  // namespace

constexpr SimulatedHost::Behaviour SimulatedHost::kBehaviours[] = {
    {DREZ_LOAD_PANEL, &SimulatedHost::loadPanel, &SimulatedHost::ignore},
    {DREZ_SET_PROPERTY, &SimulatedHost::setProperty, &SimulatedHost::ignore},
    {DREZ_GET_PROPERTY, &SimulatedHost::getProperty, &SimulatedHost::ignore},
    {DREZ_LOOKUP_DEVICE, &SimulatedHost::lookUp, &SimulatedHost::ignore},
    {DREZ_LIST_CONTROLS, &SimulatedHost::listControls, &SimulatedHost::ignore},
    {DREZ_SET_OUTPUT, &SimulatedHost::setOutput, &SimulatedHost::ignore},
    {DREZ_REGISTER_INFODRIVER, &SimulatedHost::registerRange, &SimulatedHost::registerRange},
    {DREZ_UNREGISTER_INFODRIVER, &SimulatedHost::unregister, &SimulatedHost::unregister},
    {DREZ_POLL_INFODRIVER, &SimulatedHost::poll, &SimulatedHost::ignore},
    {DREZ_REGISTER_ROUTER, &SimulatedHost::registerRange, &SimulatedHost::registerRange},
    {DREZ_UNREGISTER_ROUTER, &SimulatedHost::unregister, &SimulatedHost::unregister},
    {DREZ_POLL_ROUTER, &SimulatedHost::poll, &SimulatedHost::ignore},
    {DREZ_END_EVENT, &SimulatedHost::endEvent, &SimulatedHost::endEventQuietly},
    {DREZ_DETACH, &SimulatedHost::detach, &SimulatedHost::detach},
};

constexpr bool SimulatedHost::behavioursInOrder() {
  for (int i = 0; i < DREZ_COMMAND_COUNT; ++i) {
    if (kBehaviours[i].command != i) return false;
  }
  return true;
}

bool SimulatedHost::execute(Script& sender, const HostCommand& command, std::string& reply) {
  static_assert(std::size(kBehaviours) == DREZ_COMMAND_COUNT,
                "one behaviour for each command of the vocabulary");
  static_assert(behavioursInOrder(), "each behaviour stands at its command's id");
  if (learner_ != nullptr) learner_->learn(command, nullptr);
  reply.clear();
  return (this->*kBehaviours[command.id()].execute)(sender, command, reply);
}

void SimulatedHost::keepTrack(Script& sender, const HostCommand& command) {
  std::string unused;
  (this->*kBehaviours[command.id()].track)(sender, command, unused);
}

bool SimulatedHost::ignore(Script&, const HostCommand&, std::string&) { return true; }

bool SimulatedHost::loadPanel(Script&, const HostCommand& command, std::string&) {
  const std::string& file = command.textOf(DREZ_OPERAND_FILE);
  if (installation_.loadPanel(command.textOf(DREZ_OPERAND_PANEL), file)) return true;
  warn("no panel file " + quoted(file));
  return false;
}

bool SimulatedHost::lookUp(Script&, const HostCommand& command, std::string& reply) {
  if (!answer_lookups_) {
    note("this host answers no lookups");
    return false;
  }
  const std::string& name = command.textOf(DREZ_OPERAND_NAME);
  const DeviceName* entry = installation_.findName(name);
  if (entry == nullptr && learner_ != nullptr) {
    const DeviceName learned = learner_->lookup(name);
    reply = std::to_string(learned.number) + " " + std::to_string(learned.offset);
    return true;
  }
  if (entry == nullptr) {
    warn("no device named " + quoted(name));
    return false;
  }
  reply = std::to_string(entry->number) + " " + std::to_string(entry->offset);
  return true;
}

Panel* SimulatedHost::loadedPanel(const HostCommand& command) {
  const std::string& panelId = command.textOf(DREZ_OPERAND_PANEL);
  Panel* loaded = installation_.panel(panelId);
  if (loaded == nullptr) warn("no panel " + quoted(panelId) + " is loaded");
  return loaded;
}

Control* SimulatedHost::addressedControl(const HostCommand& command) {
  Panel* loaded = loadedPanel(command);
  if (loaded == nullptr) return nullptr;
  const std::string& controlId = command.textOf(DREZ_OPERAND_CONTROL);
  Control* control = loaded->control(controlId);
  if (control == nullptr) {
    warn("panel " + quoted(loaded->id) + " has no control " + quoted(controlId));
  }
  return control;
}

bool SimulatedHost::listControls(Script&, const HostCommand& command, std::string& reply) {
  const Panel* loaded = loadedPanel(command);
  if (loaded == nullptr) return false;
  const std::string& filter = command.textOf(DREZ_OPERAND_FILTER);
  for (const Control& control : loaded->controls) {
    if (control.id.find(filter) == std::string::npos) continue;
    if (!reply.empty()) reply += ',';
    reply += control.id;
  }
  return true;
}

bool SimulatedHost::setProperty(Script&, const HostCommand& command, std::string&) {
  Control* control = addressedControl(command);
  if (control == nullptr) return false;
  const std::string_view assignment = command.textOf(DREZ_OPERAND_ASSIGNMENT);
  const std::size_t equals = assignment.find('=');
  control->setProperty(assignment.substr(0, equals), assignment.substr(equals + 1));
  return true;
}

bool SimulatedHost::getProperty(Script&, const HostCommand& command, std::string& reply) {
  const Control* control = addressedControl(command);
  if (control == nullptr) return false;
  const std::string& property = command.textOf(DREZ_OPERAND_PROPERTY);
  if (property != "all") {
    reply = property + "=" + control->property(property);
    return true;
  }
  for (const auto& entry : control->properties) {
    if (!reply.empty()) reply += '\n';
    reply += entry.first + "=" + entry.second;
  }
  return true;
}

bool SimulatedHost::setOutput(Script&, const HostCommand& command, std::string&) {
  const int32_t index = command.numberOf(DREZ_OPERAND_INDEX);
  if (Device* device = deviceFor(command)) {
    device->outputs[index] = command.numberOf(DREZ_OPERAND_STATE);
  }
  return true;
}

bool SimulatedHost::registerRange(Script& sender, const HostCommand& command, std::string&) {
  Registration registration;
  registration.kind = deviceKindOf(command.definition->device);
  registration.device = command.numberOf(DREZ_OPERAND_DEVICE);
  registration.first = command.numberOf(DREZ_OPERAND_FIRST);
  registration.last = command.numberOf(DREZ_OPERAND_LAST);
  // With recorded answers there is no studio to check the device against.
  if (recorded_ == nullptr) deviceFor(command);
  if (registration.first > registration.last) warn("the range is empty");
  sender.registrations.add(registration);  // 'ADD' or not: ranges accumulate
  return true;
}

bool SimulatedHost::unregister(Script& sender, const HostCommand& command, std::string&) {
  const DeviceKind kind = deviceKindOf(command.definition->device);
  const int32_t device = command.numberOf(DREZ_OPERAND_DEVICE);
  // What it was told of the device is no longer kept up to date.
  for (auto told = sender.delivered.lower_bound({device, INT32_MIN});
       told != sender.delivered.end() && told->first.first == device; ++told) {
    told->second.followed = false;
  }
  if (sender.registrations.remove(kind, device) == 0) {
    note(std::string("nothing left registered for ") + kindName(kind) + " " +
         std::to_string(device));
  }
  return true;
}

bool SimulatedHost::poll(Script& sender, const HostCommand& command, std::string&) {
  const int32_t first = command.numberOf(DREZ_OPERAND_FIRST);
  const int32_t last = command.numberOf(DREZ_OPERAND_LAST);
  const Device* device = deviceFor(command);
  if (device == nullptr) return true;
  if (polls_ == PollDelivery::Off) {
    note("this host answers no polls");
    return true;
  }
  for (int32_t index = std::max(first, 1); index <= std::min(last, device->size); ++index) {
    Delivery answer = update(*device, index);
    answer.scriptId = sender.id;
    answer.answersPoll = true;
    answers_.push_back(answer);
  }
  if (answers_.empty()) note("nothing in that range to answer");
  return true;
}

bool SimulatedHost::endEvent(Script& sender, const HostCommand& command, std::string&) {
  const int32_t id = command.numberOf(DREZ_OPERAND_EVENT);
  if (!acknowledge(sender, id)) {
    warn("event id " + std::to_string(id) + " is not waiting for acknowledgement");
  }
  return true;
}

bool SimulatedHost::endEventQuietly(Script& sender, const HostCommand& command, std::string&) {
  acknowledge(sender, command.numberOf(DREZ_OPERAND_EVENT));
  return true;
}

bool SimulatedHost::acknowledge(Script& sender, int32_t id) {
  auto& pending = sender.unacknowledgedEvents;
  auto found = std::find(pending.begin(), pending.end(), id);
  if (found == pending.end()) return false;
  pending.erase(found);
  return true;
}

bool SimulatedHost::detach(Script& sender, const HostCommand&, std::string&) {
  sender.detached = true;
  return true;
}

Device* SimulatedHost::deviceFor(const HostCommand& command) {
  const int32_t number = command.numberOf(DREZ_OPERAND_DEVICE);
  const DeviceKind kind = deviceKindOf(command.definition->device);
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
