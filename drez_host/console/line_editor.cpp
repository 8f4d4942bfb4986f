// The child's question: the same on every build. The completion of a line
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

namespace {

// The first line of a question; anything else is a bare prompt.
const char kQuestionMark[] = "drez-line-question 1";

// --- The question ------------------------------------------------------

// Appends the word for `text`; false when no word can say it (no scenario
// line can then name it either).
bool putWord(std::string& record, const std::string& text) {
  const std::optional<std::string> word = wordFor(text);
  if (!word) return false;
  record += ' ';
  record += *word;
  return true;
}

void putRecord(std::string& out, const std::string& record, bool fits) {
  if (fits) out += record + "\n";
}

std::optional<DeviceKind> kindOfWord(const std::string& word) {
  for (DeviceKind kind : {DeviceKind::Infodriver, DeviceKind::Router, DeviceKind::Outputs}) {
    if (word == kindName(kind)) return kind;
  }
  return std::nullopt;
}

std::vector<std::string> remainingWords(WordReader& words) {
  std::vector<std::string> texts;
  while (!words.done()) texts.push_back(words.text(""));
  return texts;
}

// One record of a question into `question`; throws std::invalid_argument
// for a record that does not read.
void readRecord(const std::string& line, LineQuestion& question) {
  WordReader words(line);
  if (words.done()) return;
  const std::string key = words.text("");
  if (key == "prompt") {
    question.prompt = words.text("a prompt");
  } else if (key == "block") {
    question.block = words.text("a phrase");
  } else if (key == "device") {
    LineQuestion::DeviceEntry device;
    const std::optional<DeviceKind> kind = kindOfWord(words.text("a kind"));
    if (!kind) return;
    device.kind = *kind;
    device.number = words.integer("a number");
    device.offset = words.integer("an offset");
    device.size = words.integer("a size");
    device.name = words.text("a name");
    question.devices.push_back(device);
  } else if (key == "panelfile") {
    LineQuestion::PanelFileEntry file;
    file.file = words.text("a file");
    file.controls = remainingWords(words);
    question.panelFiles.push_back(file);
  } else if (key == "panel") {
    LineQuestion::PanelEntry panel;
    panel.id = words.text("an id");
    panel.file = words.text("a file");
    panel.controls = remainingWords(words);
    question.panels.push_back(panel);
  } else if (key == "script") {
    question.scripts.push_back(words.text("a name"));
  }
}

}  // namespace

std::string LineQuestion::encode() const {
  std::string out = std::string(kQuestionMark) + "\n";
  std::string record = "prompt";
  putRecord(out, record, putWord(record, prompt));
  if (!block.empty()) {
    record = "block";
    putRecord(out, record, putWord(record, block));
  }
  for (const DeviceEntry& device : devices) {
    record = std::string("device ") + kindName(device.kind) + " " + std::to_string(device.number) +
             " " + std::to_string(device.offset) + " " + std::to_string(device.size);
    putRecord(out, record, putWord(record, device.name));
  }
  for (const PanelFileEntry& file : panelFiles) {
    record = "panelfile";
    bool fits = putWord(record, file.file);
    for (const std::string& control : file.controls) fits = putWord(record, control) && fits;
    putRecord(out, record, fits);
  }
  for (const PanelEntry& panel : panels) {
    record = "panel";
    bool fits = putWord(record, panel.id) && putWord(record, panel.file);
    for (const std::string& control : panel.controls) fits = putWord(record, control) && fits;
    putRecord(out, record, fits);
  }
  for (const std::string& script : scripts) {
    record = "script";
    putRecord(out, record, putWord(record, script));
  }
  return out;
}

LineQuestion LineQuestion::decode(const std::string& text) {
  LineQuestion question;
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != kQuestionMark) {
    question.prompt = text;
    return question;
  }
  while (std::getline(in, line)) {
    try {
      readRecord(line, question);
    } catch (const std::invalid_argument&) {
    }
  }
  return question;
}

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
