#include "runner/studio_view.h"

#include <algorithm>
#include <set>
#include <sstream>

#include "simulator/trace.h"

namespace drezhost {

namespace {

const char kIndent[] = "    ";

std::string padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

void renderOutputs(std::ostream& out, const Device& device, const DeviceName& name) {
  out << "  " << name.name << " (device " << device.number << ", outputs " << name.offset << " to "
      << name.offset + name.lamps - 1 << ")\n"
      << lampRows(device, name);
}

void renderInfodriver(std::ostream& out, const Installation& installation, const Device& device) {
  out << "  " << installation.label(device.number) << " (device " << device.number << ")\n"
      << kIndent;
  const bool all = device.size <= 16;
  bool any = false;
  for (int32_t slot = 1; slot <= device.size; ++slot) {
    const std::string text = device.slot(slot);
    if (!all && text.empty()) continue;
    out << (any ? "  " : "") << slot << ": " << quoteText(text);
    any = true;
  }
  out << (any ? "" : "(all slots empty)") << "\n";
}

void renderRouter(std::ostream& out, const Installation& installation, const Device& device) {
  out << "  " << installation.label(device.number) << " (device " << device.number << ")\n";
  if (device.routes.empty()) out << kIndent << "(nothing routed)\n";
  for (const auto& route : device.routes) {
    out << kIndent << "destination " << route.first << " <- source " << route.second.source << " "
        << quoteText(route.second.name) << "\n";
  }
}

void renderPanel(std::ostream& out, const Panel& panel) {
  out << "  panel " << shownText(panel.id) << " (" << shownText(panel.file) << ")\n";
  std::size_t width = 0;
  for (const Control& control : panel.controls) width = std::max(width, control.id.size());
  for (const Control& control : panel.controls) {
    out << kIndent << padded(control.id, width + 2);
    if (control.properties.empty()) out << "-";
    for (std::size_t i = 0; i < control.properties.size(); ++i) {
      out << (i > 0 ? "  " : "") << shownText(control.properties[i].first) << "="
          << shownText(control.properties[i].second);
    }
    out << "\n";
  }
}

}  // namespace

std::string lamp(int32_t state) {
  if (state == 0) return "[ ]";
  if (state == 1) return "[*]";
  if (state >= 2 && state <= 9) return "[" + std::to_string(state) + "]";
  return "[#]";
}

std::string lampRows(const Device& device, const DeviceName& name) {
  const int32_t last = name.offset + name.lamps - 1;
  const std::size_t width = std::max<std::size_t>(3, std::to_string(last).size());
  std::string numbers = kIndent;
  std::string lamps = kIndent;
  for (int32_t index = name.offset; index <= last; ++index) {
    const std::string label = std::to_string(index);
    numbers += std::string(width - label.size() + 1, ' ') + label;
    lamps += std::string(width - 3 + 1, ' ') + lamp(device.output(index));
  }
  return numbers + "\n" + lamps + "\n";
}

std::string renderStudio(const Installation& installation, const std::vector<Script*>& scripts) {
  std::ostringstream out;
  out << "  ---- studio ----\n";
  for (const DeviceName& name : installation.names()) {
    const Device* device = installation.findDevice(name.number);
    if (device->kind == DeviceKind::Outputs) renderOutputs(out, *device, name);
  }
  for (const Panel& panel : installation.panels()) renderPanel(out, panel);
  if (installation.panels().empty()) out << "  (no panel loaded)\n";
  std::set<int32_t> shown;
  for (const DeviceName& name : installation.names()) {
    const Device* device = installation.findDevice(name.number);
    if (device->kind == DeviceKind::Outputs || !shown.insert(device->number).second) continue;
    if (device->kind == DeviceKind::Infodriver) {
      renderInfodriver(out, installation, *device);
    } else {
      renderRouter(out, installation, *device);
    }
  }
  for (const Script* script : scripts) {
    out << "  script " << script->name << ": ";
    const auto& open = script->registrations.open();
    if (open.empty()) out << "nothing registered";
    for (std::size_t i = 0; i < open.size(); ++i)
      out << (i > 0 ? ", " : "registered ") << open[i].describe();
    out << (script->detached ? " (detached)" : "") << "\n";
  }
  if (scripts.empty()) out << "  (no script)\n";
  out << "  ----------------\n";
  return out.str();
}

}  // namespace drezhost
