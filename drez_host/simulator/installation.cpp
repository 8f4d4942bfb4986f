#include "simulator/installation.h"

#include <algorithm>

namespace drezhost {

namespace {

std::string quoted(const std::string& text) { return "'" + text + "'"; }

template <typename List, typename Key>
auto findBy(List& list, const Key& key) {
  return std::find_if(list.begin(), list.end(),
                      [&](const auto& item) { return item.first == key; });
}

}  // namespace

DeviceKind deviceKindOf(drez_device_kind kind) {
  switch (kind) {
    case DREZ_DEVICE_ROUTER:
      return DeviceKind::Router;
    case DREZ_DEVICE_OUTPUTS:
      return DeviceKind::Outputs;
    case DREZ_DEVICE_INFODRIVER:
    case DREZ_DEVICE_NONE:
      break;
  }
  return DeviceKind::Infodriver;
}

const char* kindName(DeviceKind kind) {
  switch (kind) {
    case DeviceKind::Infodriver:
      return "infodriver";
    case DeviceKind::Router:
      return "router";
    case DeviceKind::Outputs:
      return "outputs";
  }
  return "device";
}

const char* kindDescription(DeviceKind kind) {
  switch (kind) {
    case DeviceKind::Infodriver:
      return "an infodriver";
    case DeviceKind::Router:
      return "a router";
    case DeviceKind::Outputs:
      return "an output device";
  }
  return "a device";
}

std::string Device::slot(int32_t index) const {
  const std::string* text = findSlot(index);
  return text != nullptr ? *text : std::string();
}

const std::string* Device::findSlot(int32_t index) const {
  auto found = slots.find(index);
  return found != slots.end() ? &found->second : nullptr;
}

Route Device::route(int32_t destination) const {
  const Route* found = findRoute(destination);
  return found != nullptr ? *found : Route();
}

const Route* Device::findRoute(int32_t destination) const {
  auto found = routes.find(destination);
  return found != routes.end() ? &found->second : nullptr;
}

int32_t Device::output(int32_t index) const {
  auto found = outputs.find(index);
  return found != outputs.end() ? found->second : 0;
}

std::string Control::property(const std::string& name) const {
  for (const auto& property : properties) {
    if (property.first == name) return property.second;
  }
  return std::string();
}

void Control::setProperty(std::string_view name, std::string_view value) {
  for (auto& property : properties) {
    if (property.first == name) {
      property.second.assign(value);
      return;
    }
  }
  properties.emplace_back(std::string(name), std::string(value));
}

Control* Panel::control(const std::string& controlId) {
  for (Control& control : controls) {
    if (control.id == controlId) return &control;
  }
  return nullptr;
}

const Control* Panel::control(const std::string& controlId) const {
  return const_cast<Panel*>(this)->control(controlId);
}

void Installation::addDevice(const std::string& name, DeviceKind kind, int32_t number,
                             int32_t offset, int32_t size, int32_t lamps) {
  if (findName(name) != nullptr)
    throw InstallationError("device " + quoted(name) + " already exists");
  auto existing = devices_.find(number);
  if (existing != devices_.end() && existing->second.kind != kind) {
    throw InstallationError("device number " + std::to_string(number) + " is already " +
                            label(number) + ", " + kindDescription(existing->second.kind) +
                            ", not " + kindDescription(kind));
  }
  if (existing == devices_.end()) {
    Device device;
    device.number = number;
    device.kind = kind;
    if (kind == DeviceKind::Infodriver) device.size = size > 0 ? size : kDefaultSlots;
    if (kind == DeviceKind::Router) device.size = size > 0 ? size : kDefaultDestinations;
    devices_.emplace(number, device);
  }
  DeviceName entry;
  entry.name = name;
  entry.number = number;
  entry.offset = offset;
  entry.lamps = kind == DeviceKind::Outputs ? (lamps > 0 ? lamps : kDefaultLamps) : 0;
  names_.push_back(entry);
  labels_.clear();
}

void Installation::showLamps(const std::string& name, int32_t lamps) {
  for (DeviceName& entry : names_) {
    if (entry.name == name) entry.lamps = lamps;
  }
}

void Installation::removeDevice(const std::string& name) {
  auto found = std::find_if(names_.begin(), names_.end(),
                            [&](const DeviceName& entry) { return entry.name == name; });
  if (found == names_.end()) throw InstallationError("no device " + quoted(name));
  const int32_t number = found->number;
  names_.erase(found);
  labels_.clear();
  const bool still_named = std::any_of(names_.begin(), names_.end(), [&](const DeviceName& entry) {
    return entry.number == number;
  });
  if (!still_named) devices_.erase(number);
}

const DeviceName* Installation::findName(const std::string& name) const {
  for (const DeviceName& entry : names_) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

Device* Installation::findDevice(int32_t number) {
  auto found = devices_.find(number);
  return found != devices_.end() ? &found->second : nullptr;
}

const Device* Installation::findDevice(int32_t number) const {
  return const_cast<Installation*>(this)->findDevice(number);
}

Device& Installation::deviceNamed(const std::string& name, DeviceKind kind) {
  const DeviceName* entry = findName(name);
  if (entry == nullptr) throw InstallationError("no device " + quoted(name));
  Device* device = findDevice(entry->number);
  if (device->kind != kind) {
    throw InstallationError(quoted(name) + " is " + kindDescription(device->kind) + ", not " +
                            kindDescription(kind));
  }
  return *device;
}

const std::string& Installation::label(int32_t number) const {
  const auto [kept, made] = labels_.try_emplace(number);
  if (!made) return kept->second;
  std::string& text = kept->second;
  for (const DeviceName& entry : names_) {
    if (entry.number != number) continue;
    if (!text.empty()) text += " / ";
    text += entry.name;
  }
  if (text.empty()) text = "device " + std::to_string(number);
  return text;
}

const DeviceName* Installation::firstName(int32_t number) const {
  for (const DeviceName& entry : names_) {
    if (entry.number == number) return &entry;
  }
  return nullptr;
}

void Installation::setSlot(const std::string& infodriver, int32_t slot, const std::string& text) {
  Device& device = deviceNamed(infodriver, DeviceKind::Infodriver);
  if (slot < 1 || slot > device.size) {
    throw InstallationError(quoted(infodriver) + " has slots 1 to " + std::to_string(device.size) +
                            ", not " + std::to_string(slot));
  }
  device.slots[slot] = text;
}

void Installation::route(const std::string& router, int32_t destination, int32_t source,
                         const std::string& sourceName) {
  Device& device = deviceNamed(router, DeviceKind::Router);
  if (destination < 1 || destination > device.size) {
    throw InstallationError(quoted(router) + " has destinations 1 to " +
                            std::to_string(device.size) + ", not " + std::to_string(destination));
  }
  if (!sourceName.empty()) device.sourceNames[source] = sourceName;
  Route route;
  route.source = source;
  auto named = device.sourceNames.find(source);
  if (named != device.sourceNames.end()) route.name = named->second;
  device.routes[destination] = route;
}

void Installation::nameSource(const std::string& router, int32_t source, const std::string& name) {
  deviceNamed(router, DeviceKind::Router).sourceNames[source] = name;
}

void Installation::addPanelFile(const std::string& file, const std::vector<std::string>& controls) {
  auto found = findBy(files_, file);
  if (found == files_.end()) {
    files_.emplace_back(file, std::vector<std::string>());
    found = files_.end() - 1;
  }
  for (const std::string& control : controls) {
    if (std::find(found->second.begin(), found->second.end(), control) == found->second.end()) {
      found->second.push_back(control);
    }
  }
}

void Installation::removePanelFile(const std::string& file) {
  auto found = findBy(files_, file);
  if (found == files_.end()) throw InstallationError("no panel file " + quoted(file));
  files_.erase(found);
}

void Installation::removeControl(const std::string& file, const std::string& control) {
  auto found = findBy(files_, file);
  if (found == files_.end()) throw InstallationError("no panel file " + quoted(file));
  auto id = std::find(found->second.begin(), found->second.end(), control);
  if (id == found->second.end()) {
    throw InstallationError("panel file " + quoted(file) + " has no control " + quoted(control));
  }
  found->second.erase(id);
}

const std::vector<std::string>* Installation::panelFile(const std::string& file) const {
  auto found = findBy(files_, file);
  return found != files_.end() ? &found->second : nullptr;
}

bool Installation::loadPanel(const std::string& panelId, const std::string& fileText) {
  std::string file = fileText;
  if (panelFile(file) == nullptr) {
    const std::size_t slash = fileText.find_last_of("/\\");
    if (slash != std::string::npos) file = fileText.substr(slash + 1);
  }
  const std::vector<std::string>* controls = panelFile(file);
  if (controls == nullptr) return false;
  Panel loaded;
  loaded.id = panelId;
  loaded.file = file;
  for (const std::string& id : *controls) {
    Control control;
    control.id = id;
    loaded.controls.push_back(control);
  }
  Panel* existing = panel(panelId);
  if (existing != nullptr) {
    *existing = loaded;
  } else {
    panels_.push_back(loaded);
  }
  return true;
}

Panel* Installation::panel(const std::string& id) {
  for (Panel& panel : panels_) {
    if (panel.id == id) return &panel;
  }
  return nullptr;
}

const Panel* Installation::panel(const std::string& id) const {
  return const_cast<Installation*>(this)->panel(id);
}

}  // namespace drezhost
