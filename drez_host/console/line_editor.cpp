// The question for the next line and the completion of a line: the same on
// every build. Reading the terminal is in line_editor_libedit.cpp and
// line_editor_plain.cpp.

#include "console/line_editor.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "runner/runner.h"
#include "scenario/step_table.h"
#include "scenario/words.h"
#include "scenario/writer.h"

namespace drezhost {

namespace {

// --- The operands of a step form ------------------------------------------

// One operand of a form's usage text.
struct Operand {
  enum class Kind { Word, Choice, Option };
  Kind kind = Kind::Word;
  std::string name;  // "infodriver", "source name"; an option's value
  std::vector<std::string> choices;
  std::string keyword;  // an option's: "panel"
  bool optional = false;
  bool repeats = false;
};

// The usage text split at the blanks outside <> and [].
std::vector<std::string> usageTokens(const std::string& usage) {
  std::vector<std::string> tokens;
  std::string token;
  int depth = 0;
  for (char c : usage) {
    if (c == '<' || c == '[') ++depth;
    if (c == '>' || c == ']') --depth;
    if (c == ' ' && depth == 0) {
      if (!token.empty()) tokens.push_back(token);
      token.clear();
    } else {
      token += c;
    }
  }
  if (!token.empty()) tokens.push_back(token);
  return tokens;
}

std::string placeholder(const std::string& token) {
  const std::size_t open = token.find('<');
  const std::size_t close = token.find('>', open);
  if (open == std::string::npos || close == std::string::npos) return std::string();
  return token.substr(open + 1, close - open - 1);
}

std::vector<Operand> operandsOf(const StepForm& form) {
  std::vector<Operand> operands;
  for (const std::string& token : usageTokens(form.operands)) {
    Operand operand;
    if (token.front() == '[') {
      const std::string inner = token.substr(1, token.size() - 2);
      operand.optional = true;
      if (inner.front() != '<') {
        operand.kind = Operand::Kind::Option;
        operand.keyword = inner.substr(0, inner.find(' '));
      }
      operand.name = placeholder(inner);
    } else if (token.front() == '<') {
      operand.name = placeholder(token);
      operand.repeats = token.size() > 3 && token.compare(token.size() - 3, 3, "...") == 0;
    } else {
      operand.kind = Operand::Kind::Choice;
      std::stringstream choices(token);
      std::string choice;
      while (std::getline(choices, choice, '|')) operand.choices.push_back(choice);
    }
    operands.push_back(operand);
  }
  return operands;
}

// --- Where the names come from -----------------------------------------

enum class Names {
  None,
  Infodrivers,
  Routers,
  OutputDevices,
  Devices,
  Slots,         // of the infodriver named just before
  Destinations,  // of the router named just before
  Outputs,       // of the output device named just before
  Controls,
  ControlsOfFile,  // of the panel file named just before
  PanelFiles,
  PanelIds,
  Scripts,
};

// Which names an operand offers: by its form's phrase and its placeholder
// (an option's value by its keyword). The rows with a phrase come first
// and win; a placeholder in no row offers nothing.
struct NameSource {
  const char* phrase;  // "" for any form
  const char* placeholder;
  Names names;
};
const NameSource kNameSources[] = {
    // New names, and texts the installation does not list.
    {"create", "script", Names::None},
    {"expect trace", "file", Names::None},
    {"panelfile", "control", Names::None},
    {"remove device", "name", Names::Devices},
    {"remove control", "control", Names::ControlsOfFile},
    {"expect output", "index", Names::Outputs},
    {"", "infodriver", Names::Infodrivers},
    {"", "router", Names::Routers},
    {"", "device", Names::OutputDevices},
    {"", "slot", Names::Slots},
    {"", "destination", Names::Destinations},
    {"", "control", Names::Controls},
    {"", "file", Names::PanelFiles},
    {"", "script", Names::Scripts},
    {"", "panel", Names::PanelIds},
    {"", "to", Names::Scripts},
};

Names namesFor(const std::string& phrase, const std::string& placeholderName) {
  for (const NameSource& row : kNameSources) {
    if (*row.phrase != '\0' && phrase == row.phrase && placeholderName == row.placeholder) {
      return row.names;
    }
  }
  for (const NameSource& row : kNameSources) {
    if (*row.phrase == '\0' && placeholderName == row.placeholder) return row.names;
  }
  return Names::None;
}

// At most this many numbers of a device are offered.
constexpr int32_t kNumbersOffered = 1000;
// At most this many candidates are listed; then their count.
constexpr std::size_t kListed = 100;

void addName(std::vector<Completion::Candidate>& out, const std::string& text) {
  const std::optional<std::string> word = wordFor(text);
  if (!word) return;
  for (const Completion::Candidate& candidate : out) {
    if (candidate.word == *word) return;
  }
  out.push_back(Completion::Candidate{*word, text});
}

void addNumbers(std::vector<Completion::Candidate>& out, int64_t first, int64_t count) {
  count = std::min<int64_t>(count, kNumbersOffered);
  for (int64_t i = 0; i < count; ++i) {
    const std::string number = std::to_string(first + i);
    out.push_back(Completion::Candidate{number, number});
  }
}

const LineQuestion::DeviceEntry* deviceNamed(const LineQuestion& question,
                                             const std::string& name) {
  for (const LineQuestion::DeviceEntry& device : question.devices) {
    if (device.name == name) return &device;
  }
  return nullptr;
}

void addDevices(std::vector<Completion::Candidate>& out, const LineQuestion& question,
                const std::optional<DeviceKind>& kind) {
  for (const LineQuestion::DeviceEntry& device : question.devices) {
    if (!kind || device.kind == *kind) addName(out, device.name);
  }
}

// `previous`: the operand typed just before (the device or file named).
std::vector<Completion::Candidate> namesOf(Names names, const LineQuestion& question,
                                           const std::string& previous) {
  std::vector<Completion::Candidate> out;
  const LineQuestion::DeviceEntry* device = deviceNamed(question, previous);
  switch (names) {
    case Names::None:
      break;
    case Names::Infodrivers:
      addDevices(out, question, DeviceKind::Infodriver);
      break;
    case Names::Routers:
      addDevices(out, question, DeviceKind::Router);
      break;
    case Names::OutputDevices:
      addDevices(out, question, DeviceKind::Outputs);
      break;
    case Names::Devices:
      addDevices(out, question, std::nullopt);
      break;
    case Names::Slots:
      if (device != nullptr && device->kind == DeviceKind::Infodriver)
        addNumbers(out, 1, device->size);
      break;
    case Names::Destinations:
      if (device != nullptr && device->kind == DeviceKind::Router) addNumbers(out, 1, device->size);
      break;
    case Names::Outputs:
      if (device != nullptr && device->kind == DeviceKind::Outputs)
        addNumbers(out, device->offset, device->size);
      break;
    case Names::Controls:
      // The controls of the loaded panels; before a script loads one, those
      // of every panel file.
      for (const LineQuestion::PanelEntry& panel : question.panels) {
        for (const std::string& control : panel.controls) addName(out, control);
      }
      if (question.panels.empty()) {
        for (const LineQuestion::PanelFileEntry& file : question.panelFiles) {
          for (const std::string& control : file.controls) addName(out, control);
        }
      }
      break;
    case Names::ControlsOfFile:
      for (const LineQuestion::PanelFileEntry& file : question.panelFiles) {
        if (file.file != previous) continue;
        for (const std::string& control : file.controls) addName(out, control);
      }
      break;
    case Names::PanelFiles:
      for (const LineQuestion::PanelFileEntry& file : question.panelFiles) addName(out, file.file);
      break;
    case Names::PanelIds:
      for (const LineQuestion::PanelEntry& panel : question.panels) addName(out, panel.id);
      break;
    case Names::Scripts:
      for (const std::string& script : question.scripts) addName(out, script);
      break;
  }
  return out;
}

// --- The words of a line -------------------------------------------------

// The words before the cursor, read as the parser reads them, and the one
// being typed: the last word when no blank follows it, or one whose quote
// is still open.
struct TypedLine {
  std::vector<std::string> words;
  std::string partial;
};

TypedLine typedLine(const std::string& before) {
  TypedLine typed;
  WordReader reader(before);
  while (!reader.done()) {
    const std::size_t start = reader.position();
    try {
      std::string word = reader.text("");
      if (reader.position() >= before.size()) {
        typed.partial = before.substr(start);
        break;
      }
      typed.words.push_back(std::move(word));
    } catch (const std::invalid_argument&) {
      typed.partial = before.substr(start);
      break;
    }
  }
  return typed;
}

std::vector<std::string> phraseWords(const char* phrase) {
  std::vector<std::string> words;
  std::stringstream in(phrase);
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

std::string usageOf(const StepForm& form) {
  std::string usage = form.phrase;
  if (*form.operands != '\0') usage += std::string(" ") + form.operands;
  if (*form.note != '\0') usage += std::string("  ") + form.note;
  return usage;
}

const StepForm* formNamed(const std::string& phrase) {
  for (const StepForm& form : stepForms()) {
    if (phrase == form.phrase) return &form;
  }
  return nullptr;
}

// The steps a block's lines may be, by the phrase of the step that opened
// it; a block in no row holds command texts only.
struct BlockSteps {
  const char* opener;
  std::vector<const char*> steps;
};
const std::vector<BlockSteps>& blockSteps() {
  static const std::vector<BlockSteps> rows = {{"on", {"set", "route"}}};
  return rows;
}

bool allowedIn(const std::string& block, const StepForm& form) {
  if (block.empty()) return true;
  for (const BlockSteps& row : blockSteps()) {
    if (block != row.opener) continue;
    for (const char* step : row.steps) {
      if (std::string(step) == form.phrase) return true;
    }
  }
  return false;
}

// The operands of `form` after `typed` (the words after its phrase).
void completeOperands(const StepForm& form, const std::vector<std::string>& typed,
                      const LineQuestion& question, Completion& completion) {
  const std::vector<Operand> operands = operandsOf(form);
  std::vector<const Operand*> positional;
  std::vector<const Operand*> options;
  for (const Operand& operand : operands) {
    (operand.kind == Operand::Kind::Option ? options : positional).push_back(&operand);
  }
  std::size_t next = 0;
  const Operand* awaited = nullptr;  // an option whose value comes next
  std::vector<const Operand*> used;
  for (const std::string& word : typed) {
    if (awaited != nullptr) {
      awaited = nullptr;
      continue;
    }
    const auto option = std::find_if(options.begin(), options.end(), [&](const Operand* o) {
      return o->keyword == word && std::find(used.begin(), used.end(), o) == used.end() &&
             (next >= positional.size() || positional[next]->optional);
    });
    if (option != options.end()) {
      awaited = *option;
      used.push_back(*option);
      continue;
    }
    if (next < positional.size() && !positional[next]->repeats) ++next;
  }
  const std::string previous = typed.empty() ? std::string() : typed.back();
  if (awaited != nullptr) {
    const Names names = namesFor(form.phrase, awaited->keyword);
    completion.open = names == Names::None;
    completion.candidates = namesOf(names, question, previous);
    return;
  }
  if (next < positional.size()) {
    const Operand& operand = *positional[next];
    if (operand.kind == Operand::Kind::Choice) {
      for (const std::string& choice : operand.choices) {
        completion.candidates.push_back(Completion::Candidate{choice, choice});
      }
    } else {
      const Names names = namesFor(form.phrase, operand.name);
      completion.open = names == Names::None;
      completion.candidates = namesOf(names, question, previous);
    }
  }
  // The options once the operands they follow are there.
  const bool optionsOpen =
      std::all_of(positional.begin() + static_cast<std::ptrdiff_t>(next), positional.end(),
                  [](const Operand* o) { return o->optional || o->repeats; });
  if (optionsOpen) {
    for (const Operand* option : options) {
      if (std::find(used.begin(), used.end(), option) == used.end()) {
        completion.candidates.push_back(Completion::Candidate{option->keyword, option->keyword});
      }
    }
  }
}

// The bytes of `text` as characters (UTF-8), for lining up a list.
std::size_t characters(const std::string& text) {
  std::size_t count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80 ? 1 : 0;
  return count;
}

std::vector<std::string> listed(const std::vector<const Completion::Candidate*>& matches,
                                int columns) {
  std::vector<std::string> lines;
  const std::size_t shown = std::min(matches.size(), kListed);
  std::size_t width = 0;
  for (std::size_t i = 0; i < shown; ++i) width = std::max(width, characters(matches[i]->word));
  width += 2;
  const std::size_t usable = columns > 4 ? static_cast<std::size_t>(columns) - 2 : 78;
  const std::size_t perLine = std::max<std::size_t>(1, usable / width);
  std::string line;
  for (std::size_t i = 0; i < shown; ++i) {
    if (i % perLine == 0) {
      if (!line.empty()) lines.push_back(line);
      line = "  ";
    }
    const std::string& word = matches[i]->word;
    line += word;
    if ((i + 1) % perLine != 0 && i + 1 < shown) line += std::string(width - characters(word), ' ');
  }
  if (!line.empty()) lines.push_back(line);
  if (matches.size() > shown) {
    lines.push_back("  ... and " + std::to_string(matches.size() - shown) + " more");
  }
  return lines;
}

bool startsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

// The longest start every match's word shares, ending on a whole character.
std::string commonStart(const std::vector<const Completion::Candidate*>& matches) {
  std::string common = matches.front()->word;
  for (const Completion::Candidate* match : matches) {
    std::size_t same = 0;
    while (same < common.size() && same < match->word.size() && common[same] == match->word[same])
      ++same;
    common.resize(same);
  }
  const std::string& first = matches.front()->word;
  while (!common.empty() && common.size() < first.size() &&
         (static_cast<unsigned char>(first[common.size()]) & 0xC0) == 0x80) {
    common.pop_back();
  }
  return common;
}

}  // namespace

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

std::string phraseOf(const std::string& line) {
  const TypedLine typed = typedLine(line + " ");
  for (const StepForm& form : stepForms()) {
    const std::vector<std::string> words = phraseWords(form.phrase);
    if (typed.words.size() >= words.size() &&
        std::equal(words.begin(), words.end(), typed.words.begin())) {
      return form.phrase;
    }
  }
  return std::string();
}

Completion completeLine(const std::string& before, const LineQuestion& question) {
  Completion completion;
  const TypedLine typed = typedLine(before);
  completion.partial = typed.partial;
  const StepForm* opener = question.block.empty() ? nullptr : formNamed(question.block);
  if (typed.words.empty() && opener != nullptr) {
    completion.usage = usageOf(*opener);
  }
  for (const StepForm& form : stepForms()) {
    if (!allowedIn(question.block, form)) continue;
    const std::vector<std::string> words = phraseWords(form.phrase);
    const std::size_t shared = std::min(words.size(), typed.words.size());
    if (!std::equal(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(shared),
                    typed.words.begin())) {
      continue;
    }
    if (typed.words.size() < words.size()) {
      // The next word of its phrase; no form's words begin another's.
      addName(completion.candidates, words[typed.words.size()]);
      continue;
    }
    completion.usage = usageOf(form);
    completeOperands(
        form,
        std::vector<std::string>(typed.words.begin() + static_cast<std::ptrdiff_t>(words.size()),
                                 typed.words.end()),
        question, completion);
    return completion;
  }
  if (typed.words.empty() && !question.block.empty()) addName(completion.candidates, "end");
  return completion;
}

TabAction tabAction(const std::string& before, const LineQuestion& question, int columns) {
  const Completion completion = completeLine(before, question);
  const std::string& partial = completion.partial;
  const std::string unquoted =
      !partial.empty() && isQuote(partial[0]) ? partial.substr(1) : partial;
  std::vector<const Completion::Candidate*> matches;
  for (const Completion::Candidate& candidate : completion.candidates) {
    if (startsWith(candidate.word, partial) || startsWith(candidate.text, unquoted)) {
      matches.push_back(&candidate);
    }
  }
  TabAction action;
  const bool hint = partial.empty() && !completion.usage.empty();
  if (!matches.empty() && !(partial.empty() && completion.open)) {
    const std::string replacement =
        matches.size() == 1 ? matches.front()->word + " " : commonStart(matches);
    if (replacement != partial && replacement.size() >= partial.size()) {
      if (startsWith(replacement, partial)) {
        action.insert = replacement.substr(partial.size());
      } else {
        action.erase = characters(partial);
        action.insert = replacement;
      }
      if (hint) {
        action.shown.push_back(completion.usage);
        if (matches.size() > 1) {
          for (std::string& line : listed(matches, columns)) action.shown.push_back(line);
        }
      }
      return action;
    }
  }
  if (!completion.usage.empty()) action.shown.push_back(completion.usage);
  if (matches.size() > 1) {
    for (std::string& line : listed(matches, columns)) action.shown.push_back(line);
  }
  return action;
}

std::string historyPath() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return std::string();
  std::string path = home;
  if (path.back() != '/' && path.back() != '\\') path += '/';
  return path + ".drez_host_history";
}

}  // namespace drezhost
