#include "scenario/step_table.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "scenario/step_row.h"

namespace drezhost {

namespace {

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
StepRow<T> form(const char* phrase, StepGroup group) {
  return StepRow<T>(phrase, group);
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
