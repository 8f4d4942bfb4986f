// One step of a scenario: a line (or, for "expect commands", a block of
// lines) of the scenario language, checked and split by the parser, run by
// the runner. drez_host/README.md describes the language.

#ifndef DREZ_HOST_SCENARIO_H_
#define DREZ_HOST_SCENARIO_H_

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace drezhost {

enum class StepKind {
  // The installation and the host.
  Installation,  // texts: "studio-a" or "empty"
  Device,        // texts: kind, name; numbers: number, offset, size, lamps
  RemoveDevice,  // texts: name
  RemovePanelFile,  // texts: file
  RemoveControl,    // texts: file, control
  Source,        // texts: router, name; numbers: source
  PanelFile,     // texts: file, control...
  Property,      // texts: control, property, value; panel
  HostPolls,     // texts: "reentrant", "queued" or "off"
  HostLookups,   // numbers: 1 on, 0 off
  // Actions: each starts a new window of commands.
  Create,        // texts: name (may be empty), path
  Delete,        // script (may be empty)
  Set,           // texts: infodriver, text; numbers: slot
  Route,         // texts: router, source name (may be empty); numbers: destination, source
  Request,       // texts: request text; script
  Event,         // numbers: id; script
  Control,       // texts: control, command; panel; script
  Notify,        // numbers: kind, value; script
  // Neither action nor expectation.
  Use,           // texts: name
  Show,
  Say,           // texts: the rest of the line
  Help,
  On,            // texts: a command text; then: the set and route steps to run
  // Expectations about the last action.
  ExpectCommands,  // block: the exact command texts, in order
  ExpectSent,      // texts: one command text
  ExpectReply,     // texts: the reply
  ExpectNoReply,
  ExpectOutput,    // texts: device; numbers: index, state
  ExpectLamps,     // texts: device; numbers: the states from the offset on
  ExpectProperty,  // texts: control, property, value; panel
  ExpectError,     // texts: part of the message
  ExpectWarning,   // texts: part of the message
};

struct Step {
  std::string file;
  int line = 0;
  std::string source;  // the line as written, trimmed
  StepKind kind = StepKind::Show;
  std::vector<std::string> texts;
  std::vector<int32_t> numbers;
  std::vector<std::string> block;
  std::vector<Step> then;   // "on": the changes it makes
  std::string script;       // "to <script>"; empty for the current script
  std::string panel = "1";  // "panel <id>"

  // "<file>:<line>".
  std::string where() const { return file + ":" + std::to_string(line); }
  bool isAction() const { return kind >= StepKind::Create && kind <= StepKind::Notify; }
  bool isExpectation() const { return kind >= StepKind::ExpectCommands; }
};

// A scenario that cannot be read or run: the message starts with
// "<file>:<line>: " and says what was expected.
class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SCENARIO_H_
