#include "scenario/installation_file.h"

#include <sstream>
#include <variant>

#include "scenario/data_files.h"
#include "scenario/parser.h"
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

// What an installation file may hold; anything else is refused.
struct FileStep {
  Installation& installation;
  const Step& step;

  template <typename Body>
  auto operator()(const Body& body) -> decltype(applyStep(installation, body)) {
    applyStep(installation, body);
  }
  // No script can be registered yet: a slot or a route is only set.
  void operator()(const steps::Set& set) {
    installation.setSlot(set.infodriver, set.slot, set.text);
  }
  void operator()(const steps::Route& route) {
    installation.route(route.router, route.destination, route.source, route.sourceName);
  }
  template <typename... Other>
  void operator()(const Other&...) {
    throw ScenarioError(step.where() +
                        ": an installation file holds only device, source, panelfile, remove, "
                        "set and route lines, not: " +
                        shownText(step.source));
  }
};

}  // namespace

Installation readInstallation(const std::string& text, const std::string& file) {
  Installation installation;
  std::istringstream in(text);
  for (const Step& step : parseScenario(in, file)) {
    try {
      std::visit(FileStep{installation, step}, step.body);
    } catch (const InstallationError& error) {
      throw ScenarioError(step.where() + ": " + error.what());
    }
  }
  return installation;
}

Installation studioA() { return readInstallation(dataFileText("studio_a.scn"), "studio_a.scn"); }

}  // namespace drezhost
