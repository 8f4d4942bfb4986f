#include "simulator/installation_learner.h"

#include <algorithm>

namespace drezhost {

DeviceName InstallationLearner::lookup(const std::string& name) {
  auto known = numbers_.find(name);
  const int32_t number = known != numbers_.end() ? known->second : next_++;
  const int32_t offset = (number - kFirstNumber + 1) * kOffsetStep;
  if (known == numbers_.end()) {
    numbers_.emplace(name, number);
    pending_[number].push_back({name, offset});
    notes_.push_back("'" + name + "' looked up: device " + std::to_string(number) + ", offset " +
                     std::to_string(offset));
  }
  DeviceName entry;
  entry.name = name;
  entry.number = number;
  entry.offset = offset;
  return entry;
}

bool InstallationLearner::use(int32_t number, DeviceKind kind, int32_t first, int32_t last) {
  auto pending = pending_.find(number);
  if (pending != pending_.end()) {
    for (const Pending& name : pending->second) {
      installation_.addDevice(name.name, kind, number, name.offset, 0, 0);
    }
    notes_.push_back("device " + std::to_string(number) + " is " + kindDescription(kind));
    pending_.erase(pending);
    learned_.insert(number);
  }
  if (learned_.count(number) == 0 && installation_.findDevice(number) == nullptr) {
    // A number the script knew without asking: a device under a name of ours.
    installation_.addDevice("Device " + std::to_string(number), kind, number, 0, 0, 0);
    notes_.push_back("device " + std::to_string(number) + " was used without a lookup: '" +
                     "Device " + std::to_string(number) + "', " + kindDescription(kind));
    learned_.insert(number);
  }
  if (learned_.count(number) == 0) return false;
  Device* device = installation_.findDevice(number);
  if (device == nullptr || device->kind != kind) return false;
  auto& range = used_.emplace(number, std::make_pair(first, last)).first->second;
  range.first = std::min(range.first, first);
  range.second = std::max(range.second, last);
  if (kind != DeviceKind::Outputs) device->size = std::max(device->size, last);
  return true;
}

void InstallationLearner::addPanelFile(const std::string& fileText) {
  const std::size_t slash = fileText.find_last_of("/\\");
  const std::string file = slash == std::string::npos ? fileText : fileText.substr(slash + 1);
  if (installation_.panelFile(file) != nullptr) return;
  installation_.addPanelFile(file, {});
  notes_.push_back("panel file '" + file + "' loaded");
}

void InstallationLearner::addControl(const std::string& panelId, const std::string& control) {
  Panel* panel = installation_.panel(panelId);
  if (panel == nullptr || panel->control(control) != nullptr) return;
  Control added;
  added.id = control;
  panel->controls.push_back(added);
  installation_.addPanelFile(panel->file, {control});
}

void InstallationLearner::finish() {
  for (const auto& entry : pending_) {
    for (const Pending& name : entry.second) {
      installation_.addDevice(name.name, DeviceKind::Infodriver, entry.first, name.offset, 0, 0);
      notes_.push_back("'" + name.name + "' was looked up but never used: taken for an infodriver");
    }
  }
  pending_.clear();
  for (const auto& entry : used_) {
    Device* device = installation_.findDevice(entry.first);
    if (device == nullptr) continue;
    const int32_t first = std::max(entry.second.first, 1);
    const int32_t last = entry.second.second;
    if (device->kind == DeviceKind::Outputs) {
      // Every output it switched is shown, from each name's offset on.
      for (const DeviceName& name : installation_.names()) {
        if (name.number != device->number) continue;
        const int32_t lamps = std::max(last - name.offset + 1, name.lamps);
        if (lamps > name.lamps && lamps <= 256) installation_.showLamps(name.name, lamps);
      }
      continue;
    }
    for (int32_t index = first; index <= last && index <= device->size; ++index) {
      if (device->kind == DeviceKind::Infodriver) {
        device->slots[index] = "1";
      } else {
        const int32_t source = index % 8 + 1;
        device->sourceNames[source] = "SOURCE " + std::to_string(source);
        device->routes[index] = Route{source, "SOURCE " + std::to_string(source)};
      }
    }
  }
}

}  // namespace drezhost
