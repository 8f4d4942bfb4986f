// Completion: the same on every build. Reading the terminal is in
// line_editor_libedit.cpp and line_editor_plain.cpp.

#include "console/completion.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "scenario/step_table.h"
#include "scenario/words.h"
#include "scenario/writer.h"

namespace drezhost {

namespace {

// --- Where the names come from -----------------------------------------

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

// The names of the live installation that `operand` may name (by its kind);
// `previous`: the operand typed just before (the device or file named).
std::vector<Completion::Candidate> namesOf(const StepOperand& operand, const LineQuestion& question,
                                           const std::string& previous) {
  std::vector<Completion::Candidate> out;
  const LineQuestion::DeviceEntry* device = deviceNamed(question, previous);
  switch (operand.kind) {
    case OperandKind::Text:
    case OperandKind::Number:
    case OperandKind::File:
      break;
    case OperandKind::Choice:
    case OperandKind::Colour:
      for (const char* choice : operand.choices) addName(out, choice);
      break;
    case OperandKind::Device:
      addDevices(out, question, std::nullopt);
      break;
    case OperandKind::Infodriver:
      addDevices(out, question, DeviceKind::Infodriver);
      break;
    case OperandKind::Router:
      addDevices(out, question, DeviceKind::Router);
      break;
    case OperandKind::OutputDevice:
      addDevices(out, question, DeviceKind::Outputs);
      break;
    case OperandKind::Slot:
      if (device != nullptr && device->kind == DeviceKind::Infodriver)
        addNumbers(out, 1, device->size);
      break;
    case OperandKind::Destination:
      if (device != nullptr && device->kind == DeviceKind::Router) addNumbers(out, 1, device->size);
      break;
    case OperandKind::Output:
      if (device != nullptr && device->kind == DeviceKind::Outputs)
        addNumbers(out, device->offset, device->size);
      break;
    case OperandKind::Control:
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
    case OperandKind::ControlOfFile:
      for (const LineQuestion::PanelFileEntry& file : question.panelFiles) {
        if (file.file != previous) continue;
        for (const std::string& control : file.controls) addName(out, control);
      }
      break;
    case OperandKind::PanelFile:
      for (const LineQuestion::PanelFileEntry& file : question.panelFiles) addName(out, file.file);
      break;
    case OperandKind::Panel:
      for (const LineQuestion::PanelEntry& panel : question.panels) addName(out, panel.id);
      break;
    case OperandKind::Script:
      for (const std::string& script : question.scripts) addName(out, script);
      break;
  }
  return out;
}

// Whether words other than the candidates may stand for the operand.
bool openFor(const StepOperand& operand) {
  switch (operand.kind) {
    case OperandKind::Text:
    case OperandKind::Number:
    case OperandKind::File:
    case OperandKind::Colour:  // #rgb and #rrggbb too
      return true;
    default:
      return false;
  }
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

// The usage line, with the form's note.
std::string usageOf(const StepForm& form) {
  std::string usage = form.usage();
  if (*form.note != '\0') usage += std::string("  ") + form.note;
  return usage;
}

// Whether a line of `form` may stand in the block `block` (the phrase of the
// step that opened it; empty outside a block).
bool allowedIn(const std::string& block, const StepForm& form) {
  if (block.empty()) return true;
  const StepForm* opener = formNamed(block);
  return opener != nullptr && opener->holds(form);
}

// The operands of `form` after `typed` (the words after its phrase).
void completeOperands(const StepForm& form, const std::vector<std::string>& typed,
                      const LineQuestion& question, Completion& completion) {
  std::vector<const StepOperand*> positional;
  std::vector<const StepOperand*> options;
  for (const StepOperand& operand : form.operands) {
    (operand.arity == Arity::Option ? options : positional).push_back(&operand);
  }
  auto stays = [](const StepOperand* operand) {  // takes every word from its place on
    return operand->arity == Arity::Any || operand->arity == Arity::Several ||
           operand->arity == Arity::Rest;
  };
  auto mayBeLeftOut = [&](const StepOperand* operand) {
    return operand->arity == Arity::Optional || operand->arity == Arity::Any;
  };
  std::size_t next = 0;
  const StepOperand* awaited = nullptr;  // an option whose value comes next
  std::vector<const StepOperand*> used;
  for (const std::string& word : typed) {
    if (awaited != nullptr) {
      awaited = nullptr;
      continue;
    }
    const auto option = std::find_if(options.begin(), options.end(), [&](const StepOperand* o) {
      return o->keyword == word && std::find(used.begin(), used.end(), o) == used.end() &&
             (next >= positional.size() || mayBeLeftOut(positional[next]));
    });
    if (option != options.end()) {
      awaited = *option;
      used.push_back(*option);
      continue;
    }
    if (next < positional.size() && !stays(positional[next])) ++next;
  }
  const std::string previous = typed.empty() ? std::string() : typed.back();
  const StepOperand* standing = awaited;
  if (standing == nullptr && next < positional.size()) standing = positional[next];
  if (standing != nullptr) {
    completion.open = openFor(*standing);
    completion.candidates = namesOf(*standing, question, previous);
  }
  if (awaited != nullptr) return;
  // The options once the operands they follow are there.
  const bool optionsOpen = std::all_of(
      positional.begin() + static_cast<std::ptrdiff_t>(next), positional.end(),
      [&](const StepOperand* o) { return mayBeLeftOut(o) || o->arity == Arity::Several; });
  if (optionsOpen) {
    for (const StepOperand* option : options) {
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

}  // namespace drezhost
