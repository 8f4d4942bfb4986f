// The question for the next line: the same on every build. The completion of a line
// is in completion.cpp; reading the terminal in line_editor_libedit.cpp and
// line_editor_plain.cpp.

#include "console/line_editor.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "runner/runner.h"
#include "scenario/words.h"
#include "scenario/writer.h"

namespace drezhost {

LineQuestion questionFor(ScenarioRunner& runner, const std::string& prompt,
                         const std::string& block) {
  LineQuestion question;
  question.prompt = prompt;
  question.block = block;
  const Installation& installation = runner.installation();
  for (const DeviceName& name : installation.names()) {
    const Device* device = installation.findDevice(name.number);
    if (device == nullptr) continue;
    LineQuestion::DeviceEntry entry;
    entry.name = name.name;
    entry.kind = device->kind;
    entry.number = name.number;
    entry.offset = name.offset;
    entry.size = device->kind == DeviceKind::Outputs ? name.lamps : device->size;
    question.devices.push_back(entry);
  }
  for (const auto& file : installation.panelFiles()) {
    question.panelFiles.push_back(LineQuestion::PanelFileEntry{file.first, file.second});
  }
  for (const Panel& panel : installation.panels()) {
    LineQuestion::PanelEntry entry;
    entry.id = panel.id;
    entry.file = panel.file;
    for (const Control& control : panel.controls) entry.controls.push_back(control.id);
    question.panels.push_back(entry);
  }
  for (const Script* script : runner.host().scripts()) question.scripts.push_back(script->name);
  return question;
}

std::string historyPath() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return std::string();
  std::string path = home;
  if (path.back() != '/' && path.back() != '\\') path += '/';
  return path + ".drez_host_history";
}

}  // namespace drezhost
