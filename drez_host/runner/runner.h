// Runs scenario steps against a simulated host with the Studio A
// installation: builds or changes the installation, drives scripts, and
// checks expectations about the last action. Hands its sink, as typed lines
// (output.h), the trace, the studio when asked, each failed expectation
// (with its file:line, what was expected and what happened) and, at the
// end, the result.
//
// It works one step at a time and keeps nothing of the past beyond the last
// action (its commands, at most SimulatedHost::kWindowLimit, its trace, at
// most kActionTraceLimit lines, and its problems), so that a scenario of any
// length runs in bounded memory and a server can feed it line by line:
//
//   ScenarioRunner runner(factory, sink, options);
//   ScenarioParser parser("<browser>");
//   if (std::optional<Step> step = parser.feed(line)) runner.run(*step);  // throws ScenarioError
//   ...
//   runner.finish();
//
// Every line a step makes goes to the sink before run() returns; with
// RunOptions::traceSink, the lines of the normalised trace also go there one
// by one.
//
// Threading: one thread, the host's, as the simulated host.

#ifndef DREZ_HOST_RUNNER_RUNNER_H_
#define DREZ_HOST_RUNNER_RUNNER_H_

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "runner/coverage.h"
#include "runner/output.h"
#include "runner/run_summary.h"
#include "runner/verdict.h"
#include "scenario/steps.h"
#include "simulator/command_window.h"
#include "simulator/installation.h"
#include "simulator/simulated_host.h"
#include "simulator/trace.h"
#include "simulator/validator.h"

namespace drezhost {

// A run cannot go on because the script broke the host contract in a way
// that leaves nothing to drive (its export returned a live script or
// nonsense). The run fails (exit status 1), unlike bad input.
class ContractStop : public ScenarioError {
 public:
  using ScenarioError::ScenarioError;
};

struct RunOptions {
  bool showStudio = false;  // the studio after every action
  bool showTrace = true;    // the numbered trace of commands and events
  bool coverage = false;    // finish() prints what the run exercised
  // "expect trace FILE" writes FILE with the last action's trace instead of
  // comparing.
  bool updateTraces = false;
  // Keep each action's trace for "expect trace" even when no trace is
  // shown. Building the trace costs most of a quiet run's time, so a quiet
  // run keeps it only when its scenario holds an "expect trace" step.
  bool keepActionTrace = true;
  // Keep the texts of each action's commands for "expect commands" and
  // "expect sent"; otherwise they are only counted. A run of a scenario
  // file keeps them only when a step of it reads them.
  bool keepCommands = true;
  int maxDepth = SimulatedHost::kDefaultMaxDepth;
  std::size_t maxCommands = SimulatedHost::kDefaultMaxCommands;
  // The installation the run starts with; null: Studio A.
  std::shared_ptr<const Installation> installation;
  // Receives every line of the normalised trace: the steps that act (">>
  // <step>", without where they stand), the numbered entries and notes, and
  // the problems; the same for the same run, whatever the options.
  std::function<void(const std::string& line)> traceSink;
  // Told of each step as it begins to run, those of included files too (a
  // watchdog names the step in its report).
  std::function<void(const Step& step)> stepStarted;
};

class ScenarioRunner {
 public:
  static constexpr std::size_t kActionTraceLimit = 20000;
  static constexpr std::size_t kSummaryMessages = 20;
  static constexpr std::size_t kListedCommands = 40;

  // `factory` creates the scripts of "create" steps. Output goes to `out`
  // (may be null: nothing is shown, and a run without trace is cheapest).
  ScenarioRunner(ScriptFactory factory, OutputSink out, RunOptions options = RunOptions());

  // Runs one step; an "include" runs the steps of its file, one by one as
  // they are read. Throws ScenarioError when it cannot run: an unknown
  // device, control or script, a change the installation refuses, an
  // expectation that names what cannot be checked, a file that cannot be
  // included or a bad line in it, or a script the export did not create
  // (ContractStop when it returned something unusable).
  void run(const Step& step);

  // The run stops early: `why` (bad input, or a ContractStop's message)
  // decides the verdict of finish(), which is then never PASSED.
  void stop(const std::string& why, bool contract);

  // Deletes the scripts still alive, as a host does at its end, and shows
  // the result. Passed when every expectation held and no unexpected error
  // was reported; bad input after stop() for bad input; failed otherwise.
  Verdict finish();

  // A failure the runner's caller found itself (a replay's difference):
  // counted as an expectation not met; `detail` goes to the reports.
  void addFailure(const std::string& what, const std::string& detail);

  // An expectation the run never reached (for --coverage).
  void neverReached(const Step& step);
  bool covering() const { return coverage_ != nullptr; }

  SimulatedHost& host() { return host_; }
  Installation& installation() { return installation_; }
  const Installation& installation() const { return installation_; }
  const Validator& validator() const { return validator_; }
  const std::vector<std::string>& failures() const { return failures_; }
  // The reply to the last request; nothing for none, or before any request.
  const std::optional<std::string>& lastReply() const { return reply_; }
  const RunSummary& summary() const { return summary_; }
  // Statesheet name -> colour, from the installation the run started with
  // and the "statesheet" steps run so far.
  const std::map<std::string, std::string>& statesheetColours() const {
    return installation_.statesheetColours();
  }

 private:
  // One arm per kind of step, chosen by std::visit: a kind without its arm
  // does not compile.
  void apply(const Step& step, const steps::Installation& body);
  void apply(const Step& step, const steps::Device& body);
  void apply(const Step& step, const steps::RemoveDevice& body);
  void apply(const Step& step, const steps::RemovePanelFile& body);
  void apply(const Step& step, const steps::RemoveControl& body);
  void apply(const Step& step, const steps::Source& body);
  void apply(const Step& step, const steps::PanelFile& body);
  void apply(const Step& step, const steps::Property& body);
  void apply(const Step& step, const steps::HostPolls& body);
  void apply(const Step& step, const steps::HostLookups& body);
  void apply(const Step& step, const steps::Statesheet& body);
  void apply(const Step& step, const steps::Include& body);
  void apply(const Step& step, const steps::Create& body);
  void apply(const Step& step, const steps::Delete& body);
  void apply(const Step& step, const steps::Use& body);
  void apply(const Step& step, const steps::Set& body);
  void apply(const Step& step, const steps::Route& body);
  void apply(const Step& step, const steps::Request& body);
  void apply(const Step& step, const steps::Event& body);
  void apply(const Step& step, const steps::Control& body);
  void apply(const Step& step, const steps::Notify& body);
  void apply(const Step& step, const steps::On& body);
  void apply(const Step& step, const steps::Show& body);
  void apply(const Step& step, const steps::Say& body);
  void apply(const Step& step, const steps::Help& body);
  void apply(const Step& step, const steps::ExpectCommands& body);
  void apply(const Step& step, const steps::ExpectSent& body);
  void apply(const Step& step, const steps::ExpectReply& body);
  void apply(const Step& step, const steps::ExpectOutput& body);
  void apply(const Step& step, const steps::ExpectLamps& body);
  void apply(const Step& step, const steps::ExpectProperty& body);
  void apply(const Step& step, const steps::ExpectTrace& body);
  void apply(const Step& step, const steps::ExpectProblem& body);
  void dispatch(const Step& step);
  // The script named `script`, or the current one for empty text.
  Script& target(const Step& step, const std::string& named);
  Control& control(const Step& step, const std::string& panel, const std::string& id);
  std::pair<const Device*, const DeviceName*> outputs(const Step& step, const std::string& name);
  void failed(const Step& step, const std::string& expected, const std::string& actual);
  // Throws ScenarioError at `step` when the run keeps no command texts.
  void requireCommands(const Step& step) const;
  // "expect commands" failed: `total` commands were sent, `sent` the first of
  // them; `note` (may be empty) ends the list.
  void failedCommands(const Step& step, const std::vector<std::string>& expected,
                      const std::vector<std::string>& sent, std::size_t total,
                      const std::string& note);
  // Hands a line of the normalised trace to the sinks.
  void record(const std::string& line);
  // Hands a line to the output, when there is one.
  void show(LineKind kind, const std::string& text, bool spaced = false);
  void showLines(LineKind kind, const std::string& text, bool spaced = false);

  OutputSink out_;
  RunOptions options_;
  ScriptFactory factory_;
  // What the trace's sink and the host's observers write to: declared before
  // the host, whose destructor still deletes scripts.
  std::vector<std::string> action_trace_;
  std::size_t action_trace_total_ = 0;
  std::unique_ptr<Coverage> coverage_;
  Installation installation_;
  Trace trace_;
  Validator validator_;
  SimulatedHost host_;

  CommandWindow window_{SimulatedHost::kWindowLimit};  // commands sent during the last action
  std::size_t mark_ = 0;                               // problems from the last action on
  bool requested_ = false;
  std::optional<std::string> reply_;  // to the last request
  std::string current_;               // the script actions go to
  int created_ = 0;
  std::set<std::string> names_;  // of every script created
  int actions_ = 0;
  int expectations_ = 0;
  std::vector<std::string> failures_;
  // Of each failed expectation (not of a trigger that never fired): where,
  // what was expected and what happened, several lines.
  std::vector<std::string> failure_details_;
  std::optional<std::string> stopped_;
  bool contract_stop_ = false;
  RunSummary summary_;
};

}  // namespace drezhost

#endif  // DREZ_HOST_RUNNER_RUNNER_H_
