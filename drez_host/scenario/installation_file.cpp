#include "scenario/installation_file.h"

#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <variant>

#include "scenario/data_files.h"
#include "scenario/parser.h"
#include "scenario/scenario_files.h"
#include "scenario/writer.h"
#include "simulator/trace.h"

namespace drezhost {

void applyStep(Installation& installation, const steps::Device& step) {
  installation.addDevice(step.name, step.kind, step.number, step.offset, step.size, step.lamps);
}

void applyStep(Installation& installation, const steps::RemoveDevice& step) {
  installation.removeDevice(step.name);
}

void applyStep(Installation& installation, const steps::RemovePanelFile& step) {
  installation.removePanelFile(step.file);
}

void applyStep(Installation& installation, const steps::RemoveControl& step) {
  installation.removeControl(step.file, step.control);
}

void applyStep(Installation& installation, const steps::Source& step) {
  installation.nameSource(step.router, step.source, step.name);
}

void applyStep(Installation& installation, const steps::PanelFile& step) {
  installation.addPanelFile(step.file, step.controls);
}

namespace {

// What an installation file may hold; anything else is refused. Hands
// each step it applied to `applied` (may be empty), the steps of included
// files in their place.
struct FileStep {
  Installation& installation;
  const Step& step;
  const std::function<void(const Step&)>& applied;

  template <typename Body>
  auto operator()(const Body& body) -> decltype(applyStep(installation, body)) {
    applyStep(installation, body);
    if (applied) applied(step);
  }
  // No script can be registered yet: a slot or a route is only set.
  void operator()(const steps::Set& set) {
    installation.setSlot(set.infodriver, set.slot, set.text);
    if (applied) applied(step);
  }
  void operator()(const steps::Route& route) {
    installation.route(route.router, route.destination, route.source, route.sourceName);
    if (applied) applied(step);
  }
  void operator()(const steps::Statesheet& statesheet) {
    installation.setStatesheetColour(statesheet.name, statesheet.colour);
    if (applied) applied(step);
  }
  void operator()(const steps::Include& include) {
    IncludedFile file(step, include);
    while (std::optional<Step> inner = file.next()) apply(installation, *inner, applied);
  }
  template <typename... Other>
  void operator()(const Other&...) {
    throw ScenarioError(step.where() +
                        ": an installation file holds only device, source, panelfile, remove, "
                        "statesheet, include, set and route lines, not: " +
                        shownText(step.source));
  }

  static void apply(Installation& installation, const Step& step,
                    const std::function<void(const Step&)>& applied) {
    try {
      std::visit(FileStep{installation, step, applied}, step.body);
    } catch (const InstallationError& error) {
      throw ScenarioError(step.where() + ": " + error.what());
    }
  }
};

Installation readSteps(std::istream& in, const std::string& file,
                       const std::function<void(const Step&)>& applied) {
  Installation installation;
  ScenarioParser parser(file);
  ScenarioLines lines(in);
  std::string line;
  bool cut = false;
  while (lines.next(line, &cut)) {
    if (cut) parser.tooLong();
    if (std::optional<Step> step = parser.feed(line)) FileStep::apply(installation, *step, applied);
  }
  parser.finish();
  return installation;
}

}  // namespace

Installation readInstallation(const std::string& text, const std::string& file) {
  std::istringstream in(text);
  return readSteps(in, file, {});
}

std::string installationFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ScenarioError("cannot read the installation file '" + path + "'");
  std::string text;
  readSteps(in, path, [&text](const Step& step) {
    std::optional<std::string> line = writeStep(step.body);
    if (!line) throw ScenarioError(step.where() + ": a text of this line cannot be passed on");
    text += *line + "\n";
  });
  return text;
}

namespace {

std::string lineOf(const StepBody& step) {
  std::optional<std::string> line = writeStep(step);
  if (!line) throw ScenarioError("the installation holds a text no scenario line can hold");
  return *line + "\n";
}

}  // namespace

std::string writeInstallation(const Installation& installation,
                              const std::vector<std::string>& comments) {
  std::string text;
  for (const std::string& comment : comments) {
    text += "# " + shownText(comment) + "\n";
  }
  for (const DeviceName& name : installation.names()) {
    const Device* device = installation.findDevice(name.number);
    steps::Device step;
    step.kind = device->kind;
    step.name = name.name;
    step.number = name.number;
    step.offset = name.offset;
    if (device->kind == DeviceKind::Outputs) {
      step.lamps = name.lamps;
    } else {
      step.size = device->size;
    }
    text += lineOf(step);
  }
  std::set<int32_t> stated;  // devices whose state is written, under their first name
  std::string state;
  for (const DeviceName& name : installation.names()) {
    const Device* device = installation.findDevice(name.number);
    if (!stated.insert(device->number).second) continue;
    for (const auto& source : device->sourceNames) {
      text += lineOf(steps::Source{name.name, source.first, source.second});
    }
    for (const auto& slot : device->slots) {
      state += lineOf(steps::Set{{}, name.name, slot.first, slot.second});
    }
    for (const auto& route : device->routes) {
      state += lineOf(steps::Route{{}, name.name, route.first, route.second.source, ""});
    }
  }
  for (const auto& file : installation.panelFiles()) {
    text += lineOf(steps::PanelFile{file.first, file.second});
  }
  for (const auto& colour : installation.statesheetColours()) {
    text += lineOf(steps::Statesheet{colour.first, colour.second});
  }
  return text + state;
}

Installation studioA() { return readInstallation(dataFileText("studio_a.scn"), "studio_a.scn"); }

}  // namespace drezhost
