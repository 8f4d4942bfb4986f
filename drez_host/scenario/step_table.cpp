#include "scenario/step_table.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <variant>

#include "simulator/trace.h"

namespace drezhost {

namespace {

// The position of `T` among the alternatives of a variant.
template <typename T, typename... Alternatives>
constexpr std::size_t indexIn(const std::variant<Alternatives...>*) {
  constexpr bool matches[] = {std::is_same_v<T, Alternatives>...};
  for (std::size_t i = 0; i < sizeof...(Alternatives); ++i) {
    if (matches[i]) return i;
  }
  return sizeof...(Alternatives);
}

// "a, b or c".
std::string listed(const std::vector<const char*>& words, const char* quote) {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i != 0) text += i + 1 == words.size() ? " or " : ", ";
    text += quote + std::string(words[i]) + quote;
  }
  return text;
}

// A colour a view can show safely: a name it knows, or hex digits.
bool isColour(const StepOperand& operand, const std::string& text) {
  for (const char* name : operand.choices) {
    if (text == name) return true;
  }
  if ((text.size() != 4 && text.size() != 7) || text[0] != '#') return false;
  return text.find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos;
}

std::string readText(WordReader& words, const StepOperand& operand) {
  if (operand.arity == Arity::Rest) return words.rest(operand.expected, operand.unquote);
  std::string text = words.text(operand.expected);
  if (operand.kind == OperandKind::Colour && !isColour(operand, text)) {
    std::string names;
    for (const char* name : operand.choices) names += std::string(name) + ", ";
    throw std::invalid_argument("expected " + std::string(operand.expected) + " (" + names +
                                "#rgb or #rrggbb), found '" + shownText(text) + "'");
  }
  return text;
}

int32_t readNumber(WordReader& words, const StepOperand& operand) {
  if (operand.least == std::numeric_limits<int32_t>::min()) return words.integer(operand.expected);
  return words.atLeast(operand.expected, operand.least);
}

void writeText(const std::string& text, LineWriter& line, const StepOperand& operand) {
  if (operand.arity == Arity::Rest) {
    line.rest(text, operand.unquote);
  } else {
    line.word(text);
  }
}

// How a field of each type is read from a word (a repeated field: one more
// of it) and written.
template <typename F>
void readValue(F& field, WordReader& words, const StepOperand& operand) {
  if constexpr (std::is_same_v<F, std::string> || std::is_same_v<F, std::optional<std::string>>) {
    field = readText(words, operand);
  } else if constexpr (std::is_same_v<F, int32_t>) {
    field = readNumber(words, operand);
  } else if constexpr (std::is_same_v<F, std::vector<std::string>>) {
    field.push_back(readText(words, operand));
  } else if constexpr (std::is_same_v<F, std::vector<int32_t>>) {
    field.push_back(readNumber(words, operand));
  } else {
    static_assert(!std::is_same_v<F, F>, "no operand reads a field of this type");
  }
}

template <typename F>
bool writeValue(const F& field, LineWriter& line, const StepOperand& operand) {
  if constexpr (std::is_same_v<F, std::string>) {
    writeText(field, line, operand);
  } else if constexpr (std::is_same_v<F, std::optional<std::string>>) {
    if (!field) return false;
    writeText(*field, line, operand);
  } else if constexpr (std::is_same_v<F, int32_t>) {
    line.number(field);
  } else if constexpr (std::is_same_v<F, std::vector<std::string>>) {
    for (const std::string& text : field) writeText(text, line, operand);
  } else if constexpr (std::is_same_v<F, std::vector<int32_t>>) {
    for (int32_t number : field) line.number(number);
  } else {
    static_assert(!std::is_same_v<F, F>, "no operand writes a field of this type");
  }
  return true;
}

template <typename F>
bool isEmpty(const F& field) {
  if constexpr (std::is_same_v<F, std::vector<std::string>> ||
                std::is_same_v<F, std::vector<int32_t>>) {
    return field.empty();
  } else {
    return false;
  }
}

// A text that a rest of the line cannot say and a block of its lines can.
bool needsLines(const std::optional<std::string>& text) {
  return text && text->find('\n') != std::string::npos;
}

// The lines of a block, by the type of the field that holds them.
void addBlockLine(std::vector<std::string>& lines, const std::string& line) {
  lines.push_back(line);
}
void addBlockLine(std::optional<std::string>& text, const std::string& line) {
  if (!text) text.emplace();
  if (!text->empty()) *text += '\n';
  *text += line;
}
void writeBlockLines(const std::vector<std::string>& lines, LineWriter& line) {
  for (const std::string& text : lines) line.blockLine(text);
}
void writeBlockLines(const std::optional<std::string>& text, LineWriter& line) {
  std::size_t start = 0;
  while (text) {
    const std::size_t end = text->find('\n', start);
    line.blockLine(text->substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
}
void writeBlockLines(const std::vector<Step>& steps, LineWriter& line) {
  for (const Step& step : steps) line.blockLine(writeStep(step.body));
}

// One row of the table, for the alternative `T`, built operand by operand;
// each operand is bound to a field of T.
template <typename T>
class Row {
 public:
  Row(const char* phrase, StepGroup group) {
    constexpr std::size_t index = indexIn<T>(static_cast<const StepBody*>(nullptr));
    static_assert(index < std::variant_size_v<StepBody>, "a form reads an alternative of StepBody");
    form_.phrase = phrase;
    form_.group = group;
    form_.index = index;
  }

  // An operand bound to `field`.
  template <typename F>
  Row& operand(StepOperand operand, F T::*field) {
    Binding binding;
    binding.read = [operand, field](WordReader& words, T& step) {
      readValue(step.*field, words, operand);
    };
    binding.write = [operand, field](const T& step, LineWriter& line) {
      if (operand.arity == Arity::Several && isEmpty(step.*field)) return false;
      return writeValue(step.*field, line, operand);
    };
    binding.isDefault = [field](const T& step) { return step.*field == T{}.*field; };
    if constexpr (std::is_same_v<F, std::optional<std::string>>) {
      binding.onNextLines = [field](const T& step) { return needsLines(step.*field); };
      binding.startLines = [field](T& step) { step.*field = std::string(); };
    }
    return add(std::move(operand), std::move(binding));
  }

  // A Choice operand: each of its words stands for a value of `field`.
  template <typename F>
  Row& choice(StepOperand operand, F T::*field, std::vector<std::pair<const char*, F>> values) {
    operand.kind = OperandKind::Choice;
    operand.choices.clear();
    for (const auto& value : values) operand.choices.push_back(value.first);
    const std::string expected = listed(operand.choices, "");
    Binding binding;
    binding.read = [expected, values, field](WordReader& words, T& step) {
      const std::string word = words.text(expected);
      for (const auto& value : values) {
        if (word == value.first) {
          step.*field = value.second;
          return;
        }
      }
      throw std::invalid_argument("expected " + expected + ", found '" + shownText(word) + "'");
    };
    binding.write = [values, field](const T& step, LineWriter& line) {
      for (const auto& value : values) {
        if (step.*field == value.second) {
          line.keyword(value.first);
          return true;
        }
      }
      return false;
    };
    binding.isDefault = [field](const T& step) { return step.*field == T{}.*field; };
    return add(std::move(operand), std::move(binding));
  }

  // A field the phrase itself decides ("device router": the kind). The
  // form writes only a step whose field holds `value`.
  template <typename F>
  Row& fixed(F T::*field, F value) {
    fixed_.push_back(Fixed{[field, value](T& step) { step.*field = value; },
                           [field, value](const T& step) { return step.*field == value; }});
    return *this;
  }

  // The block the form opens, whose lines go into `field`.
  template <typename F>
  Row& block(BlockLines lines, F T::*field, std::vector<const char*> steps = {}) {
    form_.block = lines;
    form_.blockSteps = std::move(steps);
    // No command at all is what "expect no commands" says; an "on" with
    // no change is still a trigger.
    const bool mayBeEmpty = lines == BlockLines::Steps;
    writeBlock_ = [mayBeEmpty, field](const T& step, LineWriter& line) {
      if (!mayBeEmpty && isEmpty(step.*field)) return false;
      writeBlockLines(step.*field, line);
      line.end();
      return true;
    };
    if constexpr (std::is_same_v<F, std::vector<Step>>) {
      form_.addStep = [field](StepBody& step, Step inner) {
        (std::get<T>(step).*field).push_back(std::move(inner));
      };
    } else {
      form_.addLine = [field](StepBody& step, const std::string& line) {
        addBlockLine(std::get<T>(step).*field, line);
      };
    }
    return *this;
  }
  // The block opens only when the Rest operand is missing.
  Row& blockWithoutRest() {
    form_.blockWithoutRest = true;
    return *this;
  }

  Row& note(const char* note) {
    form_.note = note;
    return *this;
  }

  StepForm done() {
    auto row = std::make_shared<const Row>(*this);
    form_.parse = [row](WordReader& words, bool* opensBlock) {
      return StepBody(row->read(words, opensBlock));
    };
    form_.write = [row](const StepBody& step, LineWriter& line) {
      return row->write(std::get<T>(step), line);
    };
    return form_;
  }

 private:
  struct Binding {
    std::function<void(WordReader&, T&)> read;  // one value (of a repeated operand: one more)
    std::function<bool(const T&, LineWriter&)> write;
    std::function<bool(const T&)> isDefault;
    // Rest: the value goes on the lines of the block instead; and what
    // it is before the first of them.
    std::function<bool(const T&)> onNextLines;
    std::function<void(T&)> startLines;
  };
  struct Fixed {
    std::function<void(T&)> set;
    std::function<bool(const T&)> holds;
  };

  Row& add(StepOperand operand, Binding binding) {
    form_.operands.push_back(std::move(operand));
    bindings_.push_back(std::move(binding));
    return *this;
  }

  // True when the next word is the keyword of an option.
  bool optionNext(WordReader& words) const {
    return std::any_of(form_.operands.begin(), form_.operands.end(),
                       [&](const StepOperand& operand) {
                         return operand.arity == Arity::Option && words.peek(operand.keyword);
                       });
  }

  T read(WordReader& words, bool* opensBlock) const {
    T step{};
    for (const Fixed& fixed : fixed_) fixed.set(step);
    *opensBlock = form_.block != BlockLines::None && !form_.blockWithoutRest;
    std::vector<const char*> keywords;
    for (std::size_t i = 0; i < form_.operands.size(); ++i) {
      const StepOperand& operand = form_.operands[i];
      const Binding& binding = bindings_[i];
      switch (operand.arity) {
        case Arity::One:
          binding.read(words, step);
          break;
        case Arity::Rest:
          if (form_.blockWithoutRest && words.done()) {
            *opensBlock = true;
            if (binding.startLines) binding.startLines(step);
          } else {
            binding.read(words, step);
          }
          break;
        case Arity::Optional:
          if (!words.done() && !optionNext(words)) binding.read(words, step);
          break;
        case Arity::Several:
          binding.read(words, step);
          [[fallthrough]];
        case Arity::Any:
          while (!words.done()) binding.read(words, step);
          break;
        case Arity::Option:
          keywords.push_back(operand.keyword);
          break;
      }
    }
    while (!words.done()) {
      std::size_t i = 0;
      while (i < form_.operands.size() && !(form_.operands[i].arity == Arity::Option &&
                                            words.accept(form_.operands[i].keyword))) {
        ++i;
      }
      if (i < form_.operands.size()) {
        bindings_[i].read(words, step);
      } else if (keywords.empty()) {
        words.end();  // throws
      } else {
        throw std::invalid_argument("expected " + listed(keywords, "'") + ", found '" +
                                    shownText(words.text("")) + "'");
      }
    }
    return step;
  }

  bool write(const T& step, LineWriter& line) const {
    for (const Fixed& fixed : fixed_) {
      if (!fixed.holds(step)) return false;
    }
    bool lines = form_.block != BlockLines::None && !form_.blockWithoutRest;
    for (int pass = 0; pass < 2; ++pass) {  // the options after the others
      for (std::size_t i = 0; i < form_.operands.size(); ++i) {
        const StepOperand& operand = form_.operands[i];
        const Binding& binding = bindings_[i];
        const bool option = operand.arity == Arity::Option;
        if (option != (pass == 1)) continue;
        if ((option || operand.arity == Arity::Optional) && binding.isDefault(step)) continue;
        if (binding.onNextLines && binding.onNextLines(step)) {
          lines = true;
          continue;
        }
        if (option) line.keyword(operand.keyword);
        if (!binding.write(step, line)) return false;
      }
    }
    return !lines || writeBlock_(step, line);
  }

  StepForm form_;
  std::vector<Binding> bindings_;
  std::vector<Fixed> fixed_;
  std::function<bool(const T&, LineWriter&)> writeBlock_;
};

// Operands, by what they are.
StepOperand word(OperandKind kind, const char* name, const char* expected) {
  StepOperand operand;
  operand.kind = kind;
  operand.name = name;
  operand.expected = expected;
  return operand;
}
StepOperand optional(StepOperand operand) {
  operand.arity = Arity::Optional;
  return operand;
}
StepOperand repeated(StepOperand operand, bool atLeastOne) {
  operand.arity = atLeastOne ? Arity::Several : Arity::Any;
  return operand;
}
StepOperand atLeast(StepOperand operand, int32_t least) {
  operand.least = least;
  return operand;
}
StepOperand rest(const char* name, const char* expected, bool unquote) {
  StepOperand operand = word(OperandKind::Text, name, expected);
  operand.arity = Arity::Rest;
  operand.unquote = unquote;
  return operand;
}
StepOperand option(const char* keyword, StepOperand value) {
  value.arity = Arity::Option;
  value.keyword = keyword;
  return value;
}

// The options many steps share.
StepOperand panelOption() {
  return option("panel", word(OperandKind::Panel, "id", "a panel id after 'panel'"));
}
StepOperand toOption() {
  return option("to", word(OperandKind::Script, "script", "a script name after 'to'"));
}

template <typename T>
Row<T> form(const char* phrase, StepGroup group) {
  return Row<T>(phrase, group);
}

// "device infodriver", "device router", "device outputs": the kind fixed,
// and the count of slots, destinations or lamps an option of its own.
StepForm deviceForm(const char* phrase, DeviceKind kind, const char* size,
                    int32_t steps::Device::*sizeField, const char* countOf) {
  return form<steps::Device>(phrase, StepGroup::Installation)
      .fixed(&steps::Device::kind, kind)
      .operand(word(OperandKind::Text, "name", "a device name"), &steps::Device::name)
      .operand(word(OperandKind::Number, "number", "a device number"), &steps::Device::number)
      .operand(option("offset", atLeast(word(OperandKind::Number, "n", "an offset"), 0)),
               &steps::Device::offset)
      .operand(option(size, atLeast(word(OperandKind::Number, "n", countOf), 1)), sizeField)
      .done();
}

std::vector<StepForm> makeForms() {
  using K = OperandKind;
  const StepGroup setUp = StepGroup::Installation;
  const StepGroup act = StepGroup::Action;
  const StepGroup check = StepGroup::Expectation;
  const StepOperand control = word(K::Control, "control", "a control id");
  const StepOperand script = word(K::Script, "script", "a script name");
  const StepOperand outputs = word(K::OutputDevice, "device", "an output device name");
  return {
      form<steps::Installation>("installation studio-a", setUp)
          .fixed(&steps::Installation::empty, false)
          .note("(only while no script is alive)")
          .done(),
      form<steps::Installation>("installation empty", setUp)
          .fixed(&steps::Installation::empty, true)
          .done(),
      deviceForm("device infodriver", DeviceKind::Infodriver, "slots", &steps::Device::size,
                 "a count of slots"),
      deviceForm("device router", DeviceKind::Router, "destinations", &steps::Device::size,
                 "a count of destinations"),
      deviceForm("device outputs", DeviceKind::Outputs, "lamps", &steps::Device::lamps,
                 "a count of lamps"),
      form<steps::Source>("source", setUp)
          .operand(word(K::Router, "router", "a router name"), &steps::Source::router)
          .operand(word(K::Number, "source", "a source number"), &steps::Source::source)
          .operand(word(K::Text, "name", "a source name"), &steps::Source::name)
          .done(),
      form<steps::PanelFile>("panelfile", setUp)
          .operand(word(K::PanelFile, "file", "a panel file name"), &steps::PanelFile::file)
          .operand(repeated(word(K::Text, "control", "a control id"), false),
                   &steps::PanelFile::controls)
          .done(),
      form<steps::RemoveDevice>("remove device", setUp)
          .operand(word(K::Device, "name", "a device name"), &steps::RemoveDevice::name)
          .done(),
      form<steps::RemovePanelFile>("remove panelfile", setUp)
          .operand(word(K::PanelFile, "file", "a panel file name"), &steps::RemovePanelFile::file)
          .done(),
      form<steps::RemoveControl>("remove control", setUp)
          .operand(word(K::PanelFile, "file", "a panel file name"), &steps::RemoveControl::file)
          .operand(word(K::ControlOfFile, "control", "a control id"),
                   &steps::RemoveControl::control)
          .done(),
      form<steps::Property>("property", setUp)
          .operand(control, &steps::Property::control)
          .operand(word(K::Text, "property", "a property name"), &steps::Property::property)
          .operand(word(K::Text, "value", "a value"), &steps::Property::value)
          .operand(panelOption(), &steps::Property::panel)
          .done(),
      form<steps::HostPolls>("host polls", setUp)
          .choice(word(K::Choice, "mode", ""), &steps::HostPolls::delivery,
                  {{"reentrant", PollDelivery::Reentrant},
                   {"queued", PollDelivery::Queued},
                   {"off", PollDelivery::Off}})
          .done(),
      form<steps::HostLookups>("host lookups", setUp)
          .choice(word(K::Choice, "answer", ""), &steps::HostLookups::answer,
                  {{"on", true}, {"off", false}})
          .done(),
      form<steps::Statesheet>("statesheet", setUp)
          .operand(word(K::Text, "name", "a statesheet name"), &steps::Statesheet::name)
          .operand(
              [] {
                StepOperand colour = word(K::Colour, "colour", "a colour");
                colour.choices = {"grey", "amber", "red", "green", "blue", "white"};
                return colour;
              }(),
              &steps::Statesheet::colour)
          .note("(grey, amber, red, green, blue, white, #rgb, #rrggbb)")
          .done(),
      form<steps::Include>("include", setUp)
          .operand(word(K::File, "file", "the file to include"), &steps::Include::file)
          .note("(that file's steps; its path from this file's folder)")
          .done(),
      form<steps::Create>("create", act)
          .operand(optional(word(K::Text, "script", "a script name")), &steps::Create::name)
          .operand(option("path", word(K::Text, "text", "a path text after 'path'")),
                   &steps::Create::path)
          .done(),
      form<steps::Delete>("delete", act).operand(optional(script), &steps::Delete::script).done(),
      form<steps::Use>("use", act).operand(script, &steps::Use::script).done(),
      form<steps::Set>("set", act)
          .operand(word(K::Infodriver, "infodriver", "an infodriver name"), &steps::Set::infodriver)
          .operand(word(K::Slot, "slot", "a slot number"), &steps::Set::slot)
          .operand(word(K::Text, "text", "the slot's text (quote it when empty or with blanks)"),
                   &steps::Set::text)
          .done(),
      form<steps::Route>("route", act)
          .operand(word(K::Router, "router", "a router name"), &steps::Route::router)
          .operand(word(K::Destination, "destination", "a destination"), &steps::Route::destination)
          .operand(word(K::Number, "source", "a source"), &steps::Route::source)
          .operand(optional(word(K::Text, "source name", "a source name")),
                   &steps::Route::sourceName)
          .done(),
      form<steps::Request>("request", act)
          .operand(word(K::Text, "text", "the request text"), &steps::Request::text)
          .operand(toOption(), &steps::Request::script)
          .done(),
      form<steps::Event>("event", act)
          .operand(word(K::Number, "id", "an event id"), &steps::Event::id)
          .operand(toOption(), &steps::Event::script)
          .done(),
      form<steps::Control>("control", act)
          .operand(control, &steps::Control::control)
          .operand(word(K::Text, "command", "the event's command text"), &steps::Control::command)
          .operand(panelOption(), &steps::Control::panel)
          .operand(toOption(), &steps::Control::script)
          .done(),
      form<steps::Notify>("notify", act)
          .choice(word(K::Choice, "kind", ""), &steps::Notify::kind, {{"6", 6}, {"7", 7}})
          .operand(word(K::Number, "value", "a value"), &steps::Notify::value)
          .operand(toOption(), &steps::Notify::script)
          .done(),
      form<steps::On>("on", act)
          .operand(rest("command text", "the command text that triggers the changes", false),
                   &steps::On::command)
          .block(BlockLines::Steps, &steps::On::changes, {"set", "route"})
          .note("(then set and route steps, then: end)")
          .done(),
      form<steps::Show>("show", act).done(),
      form<steps::Say>("say", act).operand(rest("text", "a text", true), &steps::Say::text).done(),
      form<steps::Help>("help", act).done(),
      form<steps::ExpectCommands>("expect commands", check)
          .operand(option("from", script), &steps::ExpectCommands::script)
          .block(BlockLines::Commands, &steps::ExpectCommands::commands)
          .note("(then one command text a line, then: end)")
          .done(),
      form<steps::ExpectCommands>("expect no commands", check)
          .fixed(&steps::ExpectCommands::commands, std::vector<std::string>())
          .operand(option("from", script), &steps::ExpectCommands::script)
          .done(),
      form<steps::ExpectSent>("expect sent", check)
          .operand(rest("command text", "a command text", false), &steps::ExpectSent::command)
          .done(),
      form<steps::ExpectReply>("expect reply", check)
          .operand(rest("text", "the reply text", true), &steps::ExpectReply::reply)
          .block(BlockLines::Text, &steps::ExpectReply::reply)
          .blockWithoutRest()
          .note("(alone: then the reply's lines, one a line, then: end)")
          .done(),
      form<steps::ExpectReply>("expect no reply", check)
          .fixed(&steps::ExpectReply::reply, std::optional<std::string>())
          .done(),
      form<steps::ExpectOutput>("expect output", check)
          .operand(outputs, &steps::ExpectOutput::device)
          .operand(word(K::Output, "index", "an output index"), &steps::ExpectOutput::index)
          .operand(word(K::Number, "state", "a state"), &steps::ExpectOutput::state)
          .done(),
      form<steps::ExpectLamps>("expect lamps", check)
          .operand(outputs, &steps::ExpectLamps::device)
          .operand(repeated(word(K::Number, "state", "a lamp state"), true),
                   &steps::ExpectLamps::states)
          .done(),
      form<steps::ExpectProperty>("expect property", check)
          .operand(control, &steps::ExpectProperty::control)
          .operand(word(K::Text, "property", "a property name"), &steps::ExpectProperty::property)
          .operand(word(K::Text, "value", "a value"), &steps::ExpectProperty::value)
          .operand(panelOption(), &steps::ExpectProperty::panel)
          .done(),
      form<steps::ExpectTrace>("expect trace", check)
          .operand(word(K::File, "file", "a trace file"), &steps::ExpectTrace::file)
          .note("(the last action's trace, as --record-trace writes it)")
          .done(),
      form<steps::ExpectProblem>("expect error", check)
          .fixed(&steps::ExpectProblem::severity, Severity::Error)
          .operand(rest("text", "part of the message", true), &steps::ExpectProblem::text)
          .done(),
      form<steps::ExpectProblem>("expect warning", check)
          .fixed(&steps::ExpectProblem::severity, Severity::Warning)
          .operand(rest("text", "part of the message", true), &steps::ExpectProblem::text)
          .done(),
  };
}

}  // namespace

std::string StepOperand::usage() const {
  std::string text;
  if (kind == OperandKind::Choice) {
    for (const char* choice : choices) text += (text.empty() ? "" : "|") + std::string(choice);
  } else {
    text = "<" + std::string(name) + ">";
  }
  switch (arity) {
    case Arity::Optional:
      return "[" + text + "]";
    case Arity::Any:
    case Arity::Several:
      return text + "...";
    case Arity::Option:
      return "[" + std::string(keyword) + " " + text + "]";
    case Arity::One:
    case Arity::Rest:
      break;
  }
  return text;
}

bool StepOperand::numeric() const {
  switch (kind) {
    case OperandKind::Number:
    case OperandKind::Slot:
    case OperandKind::Destination:
    case OperandKind::Output:
      return true;
    default:
      return false;
  }
}

std::string StepForm::usage() const {
  std::string text = phrase;
  for (const StepOperand& operand : operands) text += " " + operand.usage();
  return text;
}

bool StepForm::holds(const StepForm& form) const {
  return std::any_of(blockSteps.begin(), blockSteps.end(),
                     [&](const char* step) { return std::string(step) == form.phrase; });
}

const std::vector<StepForm>& stepForms() {
  static const std::vector<StepForm> forms = makeForms();
  return forms;
}

const StepForm* formNamed(const std::string& phrase) {
  for (const StepForm& form : stepForms()) {
    if (phrase == form.phrase) return &form;
  }
  return nullptr;
}

const std::vector<std::string>& optionKeywords() {
  static const std::vector<std::string> keywords = [] {
    std::vector<std::string> all;
    for (const StepForm& form : stepForms()) {
      for (const StepOperand& operand : form.operands) {
        if (operand.arity == Arity::Option &&
            std::find(all.begin(), all.end(), operand.keyword) == all.end()) {
          all.push_back(operand.keyword);
        }
      }
    }
    return all;
  }();
  return keywords;
}

std::string scenarioHelp() {
  static const struct {
    StepGroup group;
    const char* heading;
  } groups[] = {{StepGroup::Installation, "installation and host:"},
                {StepGroup::Action, "actions:"},
                {StepGroup::Expectation, "expectations about the last action:"}};
  constexpr std::size_t kUsageWidth = 30;
  std::string help;
  for (const auto& group : groups) {
    help += std::string(group.heading) + "\n";
    for (const StepForm& form : stepForms()) {
      if (form.group != group.group) continue;
      std::string usage = "  " + form.usage();
      if (*form.note != '\0') {
        if (usage.size() < kUsageWidth) usage.resize(kUsageWidth, ' ');
        usage += std::string(" ") + form.note;
      }
      help += usage + "\n";
    }
  }
  return help;
}

}  // namespace drezhost
