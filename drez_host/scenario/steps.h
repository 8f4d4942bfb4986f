// The steps of the scenario language: one struct per kind of step, with
// named fields, in the variant StepBody. The parser (parser.h) fills them
// from a line (or, for "expect commands", "expect reply" and "on", a block
// of lines), the writer (writer.h) turns them back into lines, and the
// runner runs them. drez_host/README.md describes the language;
// step_table.h lists its forms.
//
// Adding a step: its struct here (and in StepBody), its row in
// step_table.cpp (its phrase and its typed operands, each bound to a field
// of the struct), and its arm in the runner's visitor (runner/runner.cpp),
// which does not compile without it. The parser, the writer, the help, the
// completion of -i and serve's page actions follow the row.

#ifndef DREZ_HOST_SCENARIO_STEPS_H_
#define DREZ_HOST_SCENARIO_STEPS_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "simulator/installation.h"
#include "simulator/simulated_host.h"
#include "simulator/validator.h"

namespace drezhost {

struct Step;

// The kinds of step. Each field is named after what the line says.
namespace steps {

// What each action derives from: an action starts a new window of commands.
struct Action {};
// What each expectation derives from: it checks the last action's window.
struct Expectation {};

// The installation and the host.
struct Installation {
  bool empty = false;  // "installation empty"; otherwise Studio A
};
struct Device {
  DeviceKind kind = DeviceKind::Infodriver;
  std::string name;
  int32_t number = 0;
  int32_t offset = 0;
  int32_t size = 0;   // slots or destinations; 0 for the default
  int32_t lamps = 0;  // outputs shown; 0 for the default
};
struct RemoveDevice {
  std::string name;
};
struct RemovePanelFile {
  std::string file;
};
struct RemoveControl {
  std::string file;
  std::string control;
};
struct Source {
  std::string router;
  int32_t source = 0;
  std::string name;
};
struct PanelFile {
  std::string file;
  std::vector<std::string> controls;
};
struct Property {
  std::string control;
  std::string property;
  std::string value;
  std::string panel = "1";
};
struct HostPolls {
  PollDelivery delivery = PollDelivery::Reentrant;
};
struct HostLookups {
  bool answer = true;
};
// How a view colours a control showing statesheet `name`; the runner keeps
// the table (ScenarioRunner::statesheetColours).
struct Statesheet {
  std::string name;
  // grey, amber, red, green, blue, white, or #rgb / #rrggbb.
  std::string colour;
};
// The steps of another file, read in its place (scenario_files.h): its path
// relative to the folder of the file that names it.
struct Include {
  std::string file;
};

// Actions.
struct Create : Action {
  std::string name;  // empty: s1, s2, ...
  std::string path;
};
struct Delete : Action {
  std::string script;  // empty: the current script
};
struct Set : Action {
  std::string infodriver;
  int32_t slot = 0;
  std::string text;
};
struct Route : Action {
  std::string router;
  int32_t destination = 0;
  int32_t source = 0;
  std::string sourceName;  // empty: the name the source has
};
struct Request : Action {
  std::string text;
  std::string script;
};
struct Event : Action {
  int32_t id = 0;
  std::string script;
};
struct Control : Action {
  std::string control;
  std::string command;
  std::string panel = "1";
  std::string script;
};
struct Notify : Action {
  int kind = 6;
  int32_t value = 0;
  std::string script;
};

// Neither action nor expectation.
struct Use {
  std::string script;
};
struct Show {};
struct Say {
  std::string text;
};
struct Help {};
// Runs `changes` (set and route steps) from inside the first command whose
// text is `command`.
struct On {
  std::string command;
  std::vector<Step> changes;
};

// Expectations about the last action.
struct ExpectCommands : Expectation {
  std::vector<std::string> commands;  // empty for "expect no commands"
  std::string script;                 // only this script's; empty: every script's
};
struct ExpectSent : Expectation {
  std::string command;
};
struct ExpectReply : Expectation {
  // Nothing for "expect no reply"; the lines of a reply of several joined
  // by line feeds.
  std::optional<std::string> reply;
};
struct ExpectOutput : Expectation {
  std::string device;
  int32_t index = 0;
  int32_t state = 0;
};
struct ExpectLamps : Expectation {
  std::string device;
  std::vector<int32_t> states;  // from the device's offset on
};
struct ExpectProperty : Expectation {
  std::string control;
  std::string property;
  std::string value;
  std::string panel = "1";
};
// The last action's trace equals the file's lines (a path relative to the
// scenario's directory).
struct ExpectTrace : Expectation {
  std::string file;
};
struct ExpectProblem : Expectation {
  Severity severity = Severity::Error;
  std::string text;  // part of the message
};

}  // namespace steps

using StepBody =
    std::variant<steps::Installation, steps::Device, steps::RemoveDevice, steps::RemovePanelFile,
                 steps::RemoveControl, steps::Source, steps::PanelFile, steps::Property,
                 steps::HostPolls, steps::HostLookups, steps::Create, steps::Delete, steps::Set,
                 steps::Route, steps::Request, steps::Event, steps::Control, steps::Notify,
                 steps::Use, steps::Show, steps::Say, steps::Help, steps::On, steps::ExpectCommands,
                 steps::ExpectSent, steps::ExpectReply, steps::ExpectOutput, steps::ExpectLamps,
                 steps::ExpectProperty, steps::ExpectTrace, steps::ExpectProblem, steps::Statesheet,
                 steps::Include>;

// Where a file was included: the "include" step's file and line, and where
// that file was included in turn (null for a file read for itself).
struct Inclusion {
  std::string file;
  int line = 0;
  std::shared_ptr<const Inclusion> outer;
};

struct Step {
  std::string file;
  int line = 0;
  std::string source;  // the line as written, trimmed
  StepBody body;
  // Null for a step of a file read for itself.
  std::shared_ptr<const Inclusion> includedFrom;

  // "<file>:<line>"; "<file>" alone for a step that no line of it holds
  // (line 0: one drez-host adds). A step of an included file names the
  // chain: "b.scn:3 (included from a.scn:2)", "c.scn:1 (included from
  // b.scn:4, from a.scn:2)".
  std::string where() const { return placeOf(file, line, includedFrom.get()); }
  // The same for any line of `file`.
  static std::string placeOf(const std::string& file, int line, const Inclusion* includedFrom);
  bool isAction() const;
  bool isExpectation() const;
  template <typename T>
  const T* as() const {
    return std::get_if<T>(&body);
  }
};

inline std::string Step::placeOf(const std::string& file, int line, const Inclusion* includedFrom) {
  std::string place = line == 0 ? file : file + ":" + std::to_string(line);
  for (const Inclusion* outer = includedFrom; outer != nullptr; outer = outer->outer.get()) {
    place += (outer == includedFrom ? " (included from " : ", from ") + outer->file + ":" +
             std::to_string(outer->line);
  }
  return includedFrom == nullptr ? place : place + ")";
}

inline bool Step::isAction() const {
  return std::visit(
      [](const auto& step) {
        return std::is_base_of_v<steps::Action, std::decay_t<decltype(step)>>;
      },
      body);
}

inline bool Step::isExpectation() const {
  return std::visit(
      [](const auto& step) {
        return std::is_base_of_v<steps::Expectation, std::decay_t<decltype(step)>>;
      },
      body);
}

// A scenario that cannot be read or run: the message starts with
// "<file>:<line>: " and says what was expected.
class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SCENARIO_STEPS_H_
