#include "serve/state_json.h"

#include <set>

#include "scenario/writer.h"

namespace drezhost {

namespace {

using nlohmann::json;

json lightsJson(const Device& device, const DeviceName& name) {
  json lamps = json::array();
  for (int32_t index = name.offset; index < name.offset + name.lamps; ++index)
    lamps.push_back({{"index", index}, {"state", device.output(index)}});
  return {
      {"name", name.name}, {"device", device.number}, {"offset", name.offset}, {"lamps", lamps}};
}

json panelJson(const Panel& panel, const std::map<std::string, std::string>& colours) {
  json controls = json::array();
  for (const Control& control : panel.controls) {
    json properties = json::array();
    for (const auto& property : control.properties)
      properties.push_back({property.first, property.second});
    const std::string statesheet = control.property("statesheet");
    auto colour = colours.find(statesheet);
    controls.push_back({{"id", control.id},
                        {"properties", properties},
                        {"statesheet", statesheet},
                        {"colour", colour != colours.end() ? json(colour->second) : json()}});
  }
  return {{"id", panel.id}, {"file", panel.file}, {"controls", controls}};
}

// `name` is the name the studio's lists use for the device (its first);
// "label" joins all its names.
json routerJson(const Installation& installation, const std::string& name, const Device& device) {
  json destinations = json::array();
  for (const auto& route : device.routes) {
    destinations.push_back({{"destination", route.first},
                            {"source", route.second.source},
                            {"name", route.second.name}});
  }
  json sources = json::array();
  for (const auto& source : device.sourceNames)
    sources.push_back({{"source", source.first}, {"name", source.second}});
  return {{"name", name},
          {"label", installation.label(device.number)},
          {"device", device.number},
          {"size", device.size},
          {"destinations", destinations},
          {"sources", sources}};
}

json infodriverJson(const Installation& installation, const std::string& name,
                    const Device& device) {
  json slots = json::array();
  for (int32_t slot = 1; slot <= device.size; ++slot)
    slots.push_back({{"slot", slot}, {"text", device.slot(slot)}});
  return {{"name", name},
          {"label", installation.label(device.number)},
          {"device", device.number},
          {"slots", slots}};
}

}  // namespace

std::string placeholderLine(const Installation& installation) {
  for (const Panel& panel : installation.panels()) {
    if (panel.controls.empty()) continue;
    steps::ExpectProperty expect;
    expect.control = panel.controls.front().id;
    expect.property = "text";
    expect.value = "x";
    expect.panel = panel.id;
    if (std::optional<std::string> line = writeStep(expect)) return *line;
  }
  for (const DeviceName& name : installation.names()) {
    const Device* device = installation.findDevice(name.number);
    std::optional<std::string> line;
    if (device->kind == DeviceKind::Infodriver) {
      line = writeStep(steps::Set{{}, name.name, 1, "1"});
    } else if (device->kind == DeviceKind::Router) {
      line = writeStep(steps::Route{{}, name.name, 1, 1, ""});
    }
    if (line) return *line;
  }
  return "show";
}

const std::map<std::string, std::string>& defaultStatesheetColours() {
  static const std::map<std::string, std::string> colours = {
      {"QZ_Studio_OFF", "grey"}, {"QZ_Studio_REH", "amber"}, {"QZ_Studio_TX", "red"}};
  return colours;
}

json studioJson(const Installation& installation, const std::vector<Script*>& scripts,
                const std::map<std::string, std::string>& colours) {
  std::map<std::string, std::string> table = defaultStatesheetColours();
  for (const auto& colour : colours) table[colour.first] = colour.second;

  json state;
  state["devices"] = json::array();
  for (const DeviceName& name : installation.names()) {
    state["devices"].push_back({{"name", name.name},
                                {"device", name.number},
                                {"kind", kindName(installation.findDevice(name.number)->kind)},
                                {"offset", name.offset}});
  }
  state["lights"] = json::array();
  state["routers"] = json::array();
  state["infodrivers"] = json::array();
  std::set<int32_t> shown;
  for (const DeviceName& name : installation.names()) {
    const Device* device = installation.findDevice(name.number);
    if (device->kind == DeviceKind::Outputs) {
      state["lights"].push_back(lightsJson(*device, name));
    } else if (shown.insert(device->number).second) {
      // One entry per device, under all its names (two names, one router).
      if (device->kind == DeviceKind::Router) {
        state["routers"].push_back(routerJson(installation, name.name, *device));
      } else {
        state["infodrivers"].push_back(infodriverJson(installation, name.name, *device));
      }
    }
  }
  state["panels"] = json::array();
  for (const Panel& panel : installation.panels())
    state["panels"].push_back(panelJson(panel, table));
  state["scripts"] = json::array();
  for (const Script* script : scripts) {
    json registrations = json::array();
    for (const Registration& registration : script->registrations.open())
      registrations.push_back(registration.describe());
    state["scripts"].push_back(
        {{"name", script->name}, {"detached", script->detached}, {"registrations", registrations}});
  }
  state["statesheets"] = table;
  state["placeholder"] = placeholderLine(installation);
  return state;
}

std::string dumpJson(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace drezhost
