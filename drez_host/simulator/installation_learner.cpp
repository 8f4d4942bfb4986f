#include "simulator/installation_learner.h"

#include <algorithm>
#include <cstdint>
#include <sstream>

namespace drezhost {

namespace {

// The part of a file's text after the last '/' or '\'.
std::string fileName(const std::string& fileText) {
  const std::size_t slash = fileText.find_last_of("/\\");
  return slash == std::string::npos ? fileText : fileText.substr(slash + 1);
}

}  // namespace

InstallationLearner::InstallationLearner(Installation& installation, Sizing sizing)
    : installation_(installation), sizing_(sizing) {
  for (const DeviceName& name : installation_.names()) {
    if (name.number >= next_ && name.number < INT32_MAX) next_ = name.number + 1;
  }
}

void InstallationLearner::learn(const HostCommand& command, const std::string* reply) {
  if (const Operand* name = command.operand(DREZ_OPERAND_NAME)) {
    if (reply == nullptr) return;
    std::istringstream words(*reply);
    int32_t number = 0;
    int32_t offset = 0;
    if (words >> number) {
      words >> offset;
      answered(name->text, number, offset);
    }
    return;
  }
  if (const Operand* panel = command.operand(DREZ_OPERAND_PANEL)) {
    if (const Operand* file = command.operand(DREZ_OPERAND_FILE))
      panelLoaded(panel->text, file->text);
    if (const Operand* control = command.operand(DREZ_OPERAND_CONTROL)) {
      addControl(panel->text, control->text);
    }
    return;
  }
  const Operand* device = command.operand(DREZ_OPERAND_DEVICE);
  if (device == nullptr) return;
  const DeviceKind kind = deviceKindOf(command.definition->device);
  const Operand* index = command.operand(DREZ_OPERAND_INDEX);
  const Operand* first = command.operand(DREZ_OPERAND_FIRST);
  const Operand* last = command.operand(DREZ_OPERAND_LAST);
  if (index != nullptr) {
    use(device->number, kind, index->number, index->number);
  } else if (first != nullptr && last != nullptr) {
    use(device->number, kind, first->number, last->number);
  }
}

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

void InstallationLearner::answered(const std::string& name, int32_t number, int32_t offset) {
  // The first answer stays.
  if (!numbers_.emplace(name, number).second) return;
  pending_[number].push_back({name, offset});
  notes_.push_back("'" + name + "' looked up: device " + std::to_string(number) + ", offset " +
                   std::to_string(offset));
}

bool InstallationLearner::use(int32_t number, DeviceKind kind, int32_t first, int32_t last) {
  auto pending = pending_.find(number);
  if (pending != pending_.end()) {
    for (const Pending& name : pending->second) {
      try {
        installation_.addDevice(name.name, kind, number, name.offset, 0, 0);
      } catch (const InstallationError&) {
        // The number is a device of another kind already: the first stays.
      }
    }
    notes_.push_back("device " + std::to_string(number) + " is " + kindDescription(kind));
    pending_.erase(pending);
    learned_.insert(number);
  }
  if (learned_.count(number) == 0 && installation_.findDevice(number) == nullptr) {
    // A number the script knew without asking: a device under a name of ours.
    try {
      installation_.addDevice("Device " + std::to_string(number), kind, number, 0, 0, 0);
    } catch (const InstallationError&) {
      return false;  // a device looked up under that very name has another number
    }
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
  if (kind != DeviceKind::Outputs && sizing_ == Sizing::AtLeastDefault) {
    device->size = std::max(device->size, last);
  }
  return true;
}

void InstallationLearner::panelLoaded(const std::string& panelId, const std::string& fileText) {
  const std::string file =
      installation_.panelFile(fileText) != nullptr ? fileText : fileName(fileText);
  addPanelFile(fileText);
  loaded_[panelId] = file;
}

void InstallationLearner::addPanelFile(const std::string& fileText) {
  if (installation_.panelFile(fileText) != nullptr) return;
  const std::string file = fileName(fileText);
  if (installation_.panelFile(file) != nullptr) return;
  installation_.addPanelFile(file, {});
  notes_.push_back("panel file '" + file + "' loaded");
}

void InstallationLearner::addControl(const std::string& panelId, const std::string& control) {
  Panel* panel = installation_.panel(panelId);
  auto loaded = loaded_.find(panelId);
  if (panel == nullptr && loaded == loaded_.end()) return;
  if (panel != nullptr) {
    if (panel->control(control) != nullptr) return;
    Control added;
    added.id = control;
    panel->controls.push_back(added);
  }
  const std::string& file = panel != nullptr ? panel->file : loaded->second;
  const std::vector<std::string>* known = installation_.panelFile(file);
  if (known != nullptr && std::find(known->begin(), known->end(), control) != known->end()) return;
  installation_.addPanelFile(file, {control});
  notes_.push_back("control '" + control + "' addressed on panel '" + panelId + "'");
}

void InstallationLearner::finish() {
  for (const auto& entry : pending_) {
    for (const Pending& name : entry.second) {
      try {
        installation_.addDevice(name.name, DeviceKind::Infodriver, entry.first, name.offset, 0, 0);
      } catch (const InstallationError&) {
        continue;  // the number is a device of another kind already: the first stays
      }
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
        const int32_t needed = last - name.offset + 1;
        if (sizing_ == Sizing::AsUsed) {
          if (needed > 0) installation_.showLamps(name.name, std::min(needed, 256));
          continue;
        }
        const int32_t lamps = std::max(needed, name.lamps);
        if (lamps > name.lamps && lamps <= 256) installation_.showLamps(name.name, lamps);
      }
      continue;
    }
    if (sizing_ == Sizing::AsUsed) {
      if (last > 0) device->size = last;
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
