// Runs scenario steps against a simulated host with the Studio A
// installation: builds or changes the installation, drives scripts, and
// checks expectations about the last action. Prints the trace, the studio
// when asked, each failed expectation (with its file:line, what was
// expected and what happened) and, at the end, the result.

#ifndef DREZ_HOST_PROGRAM_SCENARIO_RUNNER_H_
#define DREZ_HOST_PROGRAM_SCENARIO_RUNNER_H_

#include <cstddef>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "installation.h"
#include "scenario.h"
#include "simulated_host.h"
#include "trace.h"
#include "validator.h"

namespace drezhost {

// Studio A, the installation every run starts with, from the data file
// studio_a.scn.
Installation studioA();

// Builds an installation from `text`, a file (named `file` in messages) of
// installation steps (device, source, panelfile, remove) and of set and
// route lines, which set a slot or a route without delivering it. Throws
// ScenarioError for a line that does not parse or any other step.
Installation readInstallation(const std::string& text, const std::string& file);

struct RunOptions {
  bool showStudio = false;  // the studio after every action
  bool showTrace = true;    // the numbered trace of commands and events
};

class ScenarioRunner {
 public:
  // `factory` creates the scripts of "create" steps. Output goes to `out`.
  ScenarioRunner(ScriptFactory factory, std::ostream& out, RunOptions options = RunOptions());

  // Runs one step. Throws ScenarioError when it cannot run: an unknown
  // device, control or script, a change the installation refuses, or a
  // script the export did not create.
  void run(const Step& step);

  // Deletes the scripts still alive, as a host does at its end, and prints
  // the result. Returns 0 when every expectation held and no unexpected
  // error was reported, 1 otherwise.
  int finish();

  SimulatedHost& host() { return host_; }
  const Validator& validator() const { return validator_; }
  const std::vector<std::string>& failures() const { return failures_; }
  // Statesheet name -> colour, from the "statesheet" steps run so far.
  const std::map<std::string, std::string>& statesheetColours() const { return colours_; }

 private:
  void change(const Step& step);
  void act(const Step& step);
  void check(const Step& step);
  void checkCommands(const Step& step, const std::vector<std::string>& expected);
  void checkProblem(const Step& step, Severity severity, const std::string& text);
  // The script named `script`, or the current one for empty text.
  Script& target(const Step& step, const std::string& named);
  Control& control(const Step& step, const std::string& panel, const std::string& id);
  std::pair<const Device*, const DeviceName*> outputs(const Step& step, const std::string& name);
  void failed(const Step& step, const std::string& expected, const std::string& actual);

  std::ostream& out_;
  RunOptions options_;
  ScriptFactory factory_;
  Installation installation_;
  Trace trace_;
  Validator validator_;
  SimulatedHost host_;

  std::vector<std::string> window_;  // commands sent during the last action
  std::size_t mark_ = 0;             // problems from the last action on
  bool requested_ = false;
  std::optional<std::string> reply_;  // to the last request
  std::string current_;               // the script actions go to
  int created_ = 0;
  int actions_ = 0;
  int expectations_ = 0;
  std::vector<std::string> failures_;
  std::map<std::string, std::string> colours_;
};

}  // namespace drezhost

#endif  // DREZ_HOST_PROGRAM_SCENARIO_RUNNER_H_
