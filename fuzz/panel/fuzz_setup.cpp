#include "fuzz_setup.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "drez_debug_output.h"
#include "scenario/installation_file.h"
#include "simulator/command_parser.h"
#include "simulator/installation_learner.h"

namespace drezfuzz {

using drezhost::DeviceKind;
using drezhost::Installation;
using drezhost::Script;
using drezhost::SimulatedHost;

namespace {

// How many of the start-up's commands a change made from inside a command
// may name.
constexpr std::size_t kTriggerTexts = 32;

void addOnce(std::vector<std::string>& list, const std::string& item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw drezhost::ScenarioError("cannot read the installation file '" + path + "'");
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

DebugLines::DebugLines() { drez_set_debug_sink(&DebugLines::write, this); }

DebugLines::~DebugLines() { drez_set_debug_sink(nullptr, nullptr); }

void DebugLines::write(const char* text, void* context) {
  static_cast<DebugLines*>(context)->pending_ += text;
}

void DebugLines::take(std::vector<std::string>& lines, bool flush) {
  std::size_t start = 0;
  for (std::size_t end = pending_.find('\n'); end != std::string::npos;
       end = pending_.find('\n', start)) {
    std::string line = pending_.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  pending_.erase(0, start);
  if (flush && !pending_.empty()) {
    lines.push_back(pending_);
    pending_.clear();
  }
}

FuzzSetup::FuzzSetup(drezhost::ScriptFactory factory, const std::string& installationFile)
    : factory_(std::move(factory)), tables_(baseTables()) {
  if (installationFile.empty()) {
    learn();
  } else {
    installation_ = drezhost::readInstallation(fileText(installationFile), installationFile);
  }
  for (const drezhost::DeviceName& name : installation_.names()) {
    const drezhost::Device* device = installation_.findDevice(name.number);
    if (device->kind == DeviceKind::Infodriver)
      tables_.infodrivers.push_back({name.name, device->size});
    if (device->kind == DeviceKind::Router) tables_.routers.push_back({name.name, device->size});
  }
  probe();
  debug_.clear();
}

// As drez-host's validate does: a script created and deleted with a learner
// answering what the empty studio lacks.
void FuzzSetup::learn() {
  drezhost::Trace trace;
  drezhost::Validator validator;
  drezhost::InstallationLearner learner(installation_);
  {
    SimulatedHost host(installation_, trace, validator);
    host.setDebugChannel(&debug_);
    host.setLearner(&learner);
    if (Script* script = host.create("s1", factory_, std::string())) host.destroy(*script);
  }
  learner.finish();
  learned_ = learner.notes();
}

// A script started in a copy of the studio: which panels it loads, which
// controls it addresses, what it sends and which requests it lists.
void FuzzSetup::probe() {
  Installation studio = installation_;
  drezhost::Trace trace;
  drezhost::Validator validator;
  SimulatedHost host(studio, trace, validator);
  host.setDebugChannel(&debug_);
  Script* script = host.create("s1", factory_, std::string());
  if (script == nullptr) return;
  const std::vector<std::string> sent = host.takeCommands();
  for (const drezhost::Panel& panel : studio.panels()) {
    FuzzTables::Panel choice{panel.id, panel.file, {}};
    for (const drezhost::Control& control : panel.controls) choice.controls.push_back(control.id);
    tables_.panels.push_back(std::move(choice));
  }
  for (const std::string& command : sent) {
    if (tables_.triggerTexts.size() < kTriggerTexts) addOnce(tables_.triggerTexts, command);
    const std::optional<drezhost::HostCommand> parsed =
        drezhost::parseHostCommand(command, nullptr);
    if (!parsed || (parsed->id() != DREZ_SET_PROPERTY && parsed->id() != DREZ_GET_PROPERTY)) {
      continue;
    }
    // A property set or read names a panel and a control of it.
    const std::string& id = parsed->textOf(DREZ_OPERAND_PANEL);
    for (FuzzTables::Panel& panel : tables_.panels) {
      if (panel.id == id) addOnce(panel.controls, parsed->textOf(DREZ_OPERAND_CONTROL));
    }
  }
  for (FuzzTables::Panel& panel : tables_.panels) {
    addOnce(panel.controls, "AckAll");
    addOnce(panel.controls, "ActionAll");
  }
  for (const char* listing : {"_events", "_commands"}) {
    std::istringstream lines(host.request(*script, listing).value_or(std::string()));
    std::string line;
    while (std::getline(lines, line)) {
      line = writableText(line);
      if (line.empty()) continue;
      const std::string name = line.substr(0, line.find('='));
      addOnce(tables_.requests, line);
      addOnce(tables_.requests, "return=" + name);
      addOnce(tables_.requests, name + "=1");
    }
  }
  host.destroy(*script);
}

}  // namespace drezfuzz
