#include "runner/runner.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <variant>

#include "runner/studio_view.h"
#include "runner/text_diff.h"
#include "scenario/installation_file.h"
#include "scenario/scenario_files.h"
#include "scenario/step_table.h"

namespace drezhost {

namespace {

std::string counted(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " command\n" : " commands\n");
}

// At most kListedCommands lines, and a count of the rest; `total` is how
// many there were in all (more than `lines` when the window was full).
std::string listed(const std::vector<std::string>& lines, std::size_t total) {
  if (total == 0) return "    (no commands)\n";
  std::string text;
  const std::size_t shown = std::min(lines.size(), ScenarioRunner::kListedCommands);
  for (std::size_t i = 0; i < shown; ++i) text += "    " + shownText(lines[i]) + "\n";
  if (total > shown) text += "    ... and " + std::to_string(total - shown) + " more\n";
  return text;
}

std::vector<std::string> readLines(const std::string& path, bool* readable) {
  std::ifstream file(path, std::ios::binary);
  std::vector<std::string> lines;
  *readable = static_cast<bool>(file);
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string shown(const std::optional<std::string>& reply) {
  return reply ? quoteText(*reply) : std::string("no reply");
}

}  // namespace

ScenarioRunner::ScenarioRunner(ScriptFactory factory, OutputSink out, RunOptions options)
    : out_(std::move(out)),
      options_(std::move(options)),
      factory_(std::move(factory)),
      coverage_(options_.coverage ? std::make_unique<Coverage>() : nullptr),
      installation_(options_.installation ? *options_.installation : studioA()),
      host_(installation_, trace_, validator_) {
  if (!out_) options_.showTrace = false;
  host_.setMaxDepth(options_.maxDepth);
  host_.setMaxCommands(options_.maxCommands);
  if (!options_.keepCommands) {
    // The runner's window and the host's trade places after each action.
    window_ = CommandWindow(0);
    host_.setWindowLimit(0);
  }
  if (options_.showTrace || options_.keepActionTrace || options_.traceSink) {
    trace_.setSink([this](const std::string& line, TraceLineKind kind) {
      if (options_.showTrace)
        show(kind == TraceLineKind::Debug ? LineKind::Debug : LineKind::Trace, line);
      record(line);
    });
  }
  validator_.setListener([this](const Problem& problem) {
    const bool error = problem.severity == Severity::Error;
    const std::string line =
        (error ? "       !! error: " : "       !  warning: ") + problem.message;
    show(error ? LineKind::Error : LineKind::Warning, line);
    record(line);
  });
  if (coverage_) host_.addObserver(coverage_.get());
}

void ScenarioRunner::show(LineKind kind, const std::string& text, bool spaced) {
  if (out_) out_(OutputLine{kind, text, spaced});
}

void ScenarioRunner::showLines(LineKind kind, const std::string& text, bool spaced) {
  if (out_) emitLines(out_, kind, text, spaced);
}

void ScenarioRunner::record(const std::string& line) {
  if (options_.keepActionTrace) {
    if (action_trace_.size() < kActionTraceLimit) action_trace_.push_back(line);
    ++action_trace_total_;
  }
  if (options_.traceSink) options_.traceSink(line);
}

void ScenarioRunner::dispatch(const Step& step) {
  std::visit([&](const auto& body) { apply(step, body); }, step.body);
}

void ScenarioRunner::run(const Step& step) {
  if (options_.stepStarted) options_.stepStarted(step);
  try {
    // A step counts once it ran: a refused one changes nothing, the tally
    // neither.
    if (step.isExpectation()) {
      dispatch(step);
      ++expectations_;
    } else if (step.isAction()) {
      if (options_.showTrace || options_.traceSink) {
        const std::string text = shownText(step.source);
        if (options_.showTrace)
          show(LineKind::Step, ">> " + text + "    (" + step.where() + ")", true);
        if (options_.traceSink) options_.traceSink(">> " + text);
      }
      host_.forgetCommands();
      window_.clear();
      action_trace_.clear();
      action_trace_total_ = 0;
      validator_.forgetBefore(mark_);
      mark_ = validator_.mark();
      dispatch(step);
      ++actions_;
      host_.takeCommands(window_);
      if (options_.showStudio)
        showLines(LineKind::View, renderStudio(installation_, host_.scripts()));
    } else {
      dispatch(step);
    }
  } catch (const InstallationError& error) {
    throw ScenarioError(step.where() + ": " + error.what());
  }
}

// The installation and the host.

void ScenarioRunner::apply(const Step& step, const steps::Installation& body) {
  if (!host_.scripts().empty()) {
    throw ScenarioError(step.where() +
                        ": the installation can be replaced only while no script is alive");
  }
  // How a view colours statesheets outlives the studio it was said in.
  const std::map<std::string, std::string> colours = installation_.statesheetColours();
  installation_ = body.empty ? Installation() : studioA();
  for (const auto& colour : colours) installation_.setStatesheetColour(colour.first, colour.second);
}

void ScenarioRunner::apply(const Step&, const steps::Device& body) {
  applyStep(installation_, body);
}

void ScenarioRunner::apply(const Step&, const steps::RemoveDevice& body) {
  applyStep(installation_, body);
}

void ScenarioRunner::apply(const Step&, const steps::RemovePanelFile& body) {
  applyStep(installation_, body);
}

void ScenarioRunner::apply(const Step&, const steps::RemoveControl& body) {
  applyStep(installation_, body);
}

void ScenarioRunner::apply(const Step&, const steps::Source& body) {
  applyStep(installation_, body);
}

void ScenarioRunner::apply(const Step&, const steps::PanelFile& body) {
  applyStep(installation_, body);
}

void ScenarioRunner::apply(const Step& step, const steps::Property& body) {
  control(step, body.panel, body.control).setProperty(body.property, body.value);
}

void ScenarioRunner::apply(const Step&, const steps::HostPolls& body) {
  host_.setPollDelivery(body.delivery);
}

void ScenarioRunner::apply(const Step&, const steps::HostLookups& body) {
  host_.setAnswerLookups(body.answer);
}

void ScenarioRunner::apply(const Step&, const steps::Statesheet& body) {
  installation_.setStatesheetColour(body.name, body.colour);
}

void ScenarioRunner::apply(const Step& step, const steps::Include& body) {
  IncludedFile file(step, body);
  while (std::optional<Step> inner = file.next()) run(*inner);
}

// Actions.

void ScenarioRunner::apply(const Step& step, const steps::Create& body) {
  const std::string name = body.name.empty() ? "s" + std::to_string(created_ + 1) : body.name;
  if (host_.findScript(name) != nullptr) {
    throw ScenarioError(step.where() + ": a script named '" + shownText(name) +
                        "' is alive already");
  }
  ++created_;
  names_.insert(name);
  if (host_.create(name, factory_, body.path) == nullptr) {
    if (host_.rejectedLastScript()) {
      throw ContractStop(step.where() +
                         ": cannot go on: the export returned something that is no new script");
    }
    throw ScenarioError(step.where() + ": cannot go on: the panel library created no script");
  }
  current_ = name;
}

void ScenarioRunner::apply(const Step& step, const steps::Delete& body) {
  Script& script = target(step, body.script);
  const bool wasCurrent = script.name == current_;
  host_.destroy(script);
  if (wasCurrent) {
    current_ = host_.scripts().empty() ? std::string() : host_.scripts().back()->name;
  }
}

void ScenarioRunner::apply(const Step& step, const steps::Use& body) {
  current_ = target(step, body.script).name;
}

void ScenarioRunner::apply(const Step&, const steps::Set& body) {
  host_.setSlot(body.infodriver, body.slot, body.text);
}

void ScenarioRunner::apply(const Step&, const steps::Route& body) {
  host_.route(body.router, body.destination, body.source, body.sourceName);
}

void ScenarioRunner::apply(const Step& step, const steps::Request& body) {
  reply_ = host_.request(target(step, body.script), body.text);
  requested_ = true;
}

void ScenarioRunner::apply(const Step& step, const steps::Event& body) {
  host_.fireEvent(target(step, body.script), body.id);
}

void ScenarioRunner::apply(const Step& step, const steps::Control& body) {
  control(step, body.panel, body.control);
  host_.controlEvent(target(step, body.script), body.control, body.command);
}

void ScenarioRunner::apply(const Step& step, const steps::Notify& body) {
  host_.notify(target(step, body.script), body.kind, body.value);
}

void ScenarioRunner::apply(const Step&, const steps::On& body) {
  host_.onCommand(body.command, [this, changes = body.changes] {
    for (const Step& change : changes) {
      try {
        dispatch(change);
      } catch (const std::exception& error) {
        failures_.push_back(change.where() + ": " + shownText(change.source));
        failure_details_.push_back(failures_.back() +
                                   ": this change cannot be made: " + error.what());
        show(LineKind::Failure, change.where() + ": this change cannot be made: " + error.what());
      }
    }
  });
}

void ScenarioRunner::apply(const Step&, const steps::Show&) {
  showLines(LineKind::View, renderStudio(installation_, host_.scripts()));
}

void ScenarioRunner::apply(const Step&, const steps::Say& body) {
  show(LineKind::Heading, "==== " + shownText(body.text), true);
}

void ScenarioRunner::apply(const Step&, const steps::Help&) {
  showLines(LineKind::View, scenarioHelp());
}

// Expectations about the last action.

void ScenarioRunner::apply(const Step& step, const steps::ExpectCommands& body) {
  requireCommands(step);
  const std::vector<std::string>& expected = body.commands;
  const bool whole = window_.total() == window_.size();  // not cut at its limit
  if (body.script.empty()) {
    if (window_.holds(expected) && whole) return;
    return failedCommands(step, expected, window_.texts(), window_.total(), "");
  }
  if (names_.count(body.script) == 0) {
    throw ScenarioError(step.where() + ": no script named '" + shownText(body.script) +
                        "' was created");
  }
  std::vector<std::string> own;
  for (std::size_t i = 0; i < window_.size(); ++i) {
    if (window_.sender(i) == body.script) own.emplace_back(window_[i]);
  }
  if (own == expected && whole) return;
  // A window cut at its limit cannot show all of one script's commands.
  failedCommands(step, expected, own, own.size(),
                 whole ? ""
                       : "    (among the first " + std::to_string(window_.size()) + " of " +
                             std::to_string(window_.total()) + " commands sent)\n");
}

void ScenarioRunner::requireCommands(const Step& step) const {
  if (options_.keepCommands) return;
  throw ScenarioError(step.where() +
                      ": this run keeps no command texts, as its scenario file held no step "
                      "that reads them when the run began");
}

void ScenarioRunner::failedCommands(const Step& step, const std::vector<std::string>& expected,
                                    const std::vector<std::string>& sent, std::size_t total,
                                    const std::string& note) {
  std::size_t same = 0;
  while (same < sent.size() && same < expected.size() && sent[same] == expected[same]) ++same;
  failed(step, counted(expected.size()) + listed(expected, expected.size()),
         counted(total) + listed(sent, total) + note + "  first difference: command " +
             std::to_string(same + 1));
}

void ScenarioRunner::apply(const Step& step, const steps::ExpectSent& body) {
  requireCommands(step);
  bool sent = false;
  for (std::size_t i = 0; i < window_.size() && !sent; ++i) sent = window_[i] == body.command;
  if (!sent) {
    failed(step, "the command " + shownText(body.command),
           counted(window_.total()) + listed(window_.texts(), window_.total()));
  }
}

void ScenarioRunner::apply(const Step& step, const steps::ExpectReply& body) {
  if (!requested_) return failed(step, "a reply", "no request was sent yet");
  if (reply_ != body.reply) failed(step, shown(body.reply), shown(reply_));
}

void ScenarioRunner::apply(const Step& step, const steps::ExpectOutput& body) {
  const Device* device = outputs(step, body.device).first;
  const int32_t state = device->output(body.index);
  if (state != body.state) failed(step, std::to_string(body.state), std::to_string(state));
}

void ScenarioRunner::apply(const Step& step, const steps::ExpectLamps& body) {
  const auto found = outputs(step, body.device);
  const DeviceName& name = *found.second;
  if (static_cast<int32_t>(body.states.size()) != name.lamps) {
    throw ScenarioError(step.where() + ": expect lamps names " +
                        std::to_string(body.states.size()) + " states, but '" +
                        shownText(name.name) + "' shows " + std::to_string(name.lamps) +
                        " lamps (outputs " + std::to_string(name.offset) + " to " +
                        std::to_string(name.offset + name.lamps - 1) + "): name one for each");
  }
  Device expected = *found.first;
  for (std::size_t i = 0; i < body.states.size(); ++i) {
    expected.outputs[name.offset + static_cast<int32_t>(i)] = body.states[i];
  }
  const std::string want = lampRows(expected, name);
  const std::string have = lampRows(*found.first, name);
  if (want != have) failed(step, "\n" + want, "\n" + have);
}

void ScenarioRunner::apply(const Step& step, const steps::ExpectProperty& body) {
  const std::string value = control(step, body.panel, body.control).property(body.property);
  if (value != body.value) failed(step, quoteText(body.value), quoteText(value));
}

void ScenarioRunner::apply(const Step& step, const steps::ExpectTrace& body) {
  const std::filesystem::path path =
      std::filesystem::path(step.file).parent_path() / std::filesystem::path(body.file);
  if (options_.updateTraces) {
    std::ofstream written(path, std::ios::binary);
    for (const std::string& line : action_trace_) written << line << "\n";
    if (!written) throw ScenarioError(step.where() + ": cannot write '" + path.string() + "'");
    show(LineKind::Note, step.where() + ": wrote " + path.string());
    return;
  }
  if (!options_.keepActionTrace) {
    throw ScenarioError(step.where() + ": this run keeps no trace for expect trace");
  }
  bool readable = false;
  const std::vector<std::string> expected = readLines(path.string(), &readable);
  if (!readable) {
    throw ScenarioError(step.where() + ": cannot read the trace file '" + path.string() +
                        "' (--update-traces writes it)");
  }
  if (action_trace_total_ > action_trace_.size()) {
    return failed(step, path.string(),
                  "a trace of " + std::to_string(action_trace_total_) + " lines, more than the " +
                      std::to_string(kActionTraceLimit) + " kept");
  }
  const std::string diff = unifiedDiff(expected, action_trace_, path.string(), "the last action");
  if (!diff.empty()) failed(step, "the trace in " + path.string(), "\n" + diff);
}

void ScenarioRunner::apply(const Step& step, const steps::ExpectProblem& body) {
  if (validator_.expect(body.severity, body.text, mark_)) return;
  std::string reported;
  std::size_t count = 0;
  for (const Problem* problem : validator_.since(mark_, body.severity)) {
    if (++count > kListedCommands) continue;
    reported += "\n    " + problem->message + (problem->expected ? "  (matched already)" : "");
  }
  if (count > kListedCommands) {
    reported += "\n    ... and " + std::to_string(count - kListedCommands) + " more";
  }
  const bool error = body.severity == Severity::Error;
  const char* what = error ? "error" : "warning";
  failed(step, std::string(error ? "an " : "a ") + what + " containing " + quoteText(body.text),
         reported.empty() ? std::string("no ") + what + " during the last action" : reported);
}

Script& ScenarioRunner::target(const Step& step, const std::string& named) {
  const std::string& name = named.empty() ? current_ : named;
  if (name.empty()) throw ScenarioError(step.where() + ": no script is alive: create one first");
  Script* script = host_.findScript(name);
  if (script == nullptr)
    throw ScenarioError(step.where() + ": no script named '" + shownText(name) + "' is alive");
  return *script;
}

Control& ScenarioRunner::control(const Step& step, const std::string& panelId,
                                 const std::string& id) {
  Panel* panel = installation_.panel(panelId);
  if (panel == nullptr)
    throw ScenarioError(step.where() + ": no panel '" + shownText(panelId) + "' is loaded");
  Control* control = panel->control(id);
  if (control == nullptr) {
    throw ScenarioError(step.where() + ": panel '" + shownText(panelId) + "' has no control '" +
                        shownText(id) + "'");
  }
  return *control;
}

std::pair<const Device*, const DeviceName*> ScenarioRunner::outputs(const Step& step,
                                                                    const std::string& name) {
  const DeviceName* entry = installation_.findName(name);
  if (entry == nullptr) throw ScenarioError(step.where() + ": no device '" + shownText(name) + "'");
  const Device* device = installation_.findDevice(entry->number);
  if (device->kind != DeviceKind::Outputs) {
    throw ScenarioError(step.where() + ": '" + shownText(name) + "' is " +
                        kindDescription(device->kind) + ", not an output device");
  }
  return {device, entry};
}

void ScenarioRunner::failed(const Step& step, const std::string& expected,
                            const std::string& actual) {
  // A value that begins with a line feed starts on a line of its own.
  auto value = [](std::string text, const char* pad) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return !text.empty() && text[0] == '\n' ? text : pad + text;
  };
  const std::string source = shownText(step.source);
  failures_.push_back(step.where() + ": " + source);
  const std::string values =
      "\n  expected:" + value(expected, " ") + "\n  actual:" + value(actual, "   ");
  failure_details_.push_back(failures_.back() + values);
  showLines(LineKind::Failure, step.where() + ": expectation failed: " + source + values + "\n");
}

void ScenarioRunner::addFailure(const std::string& what, const std::string& detail) {
  failures_.push_back(what);
  failure_details_.push_back(detail);
}

void ScenarioRunner::stop(const std::string& why, bool contract) {
  stopped_ = why;
  contract_stop_ = contract;
}

void ScenarioRunner::neverReached(const Step& step) {
  if (coverage_) coverage_->neverReached(step.where() + ": " + shownText(step.source));
}

Verdict ScenarioRunner::finish() {
  if (!host_.scripts().empty()) {
    if (options_.showTrace) {
      show(LineKind::Step, ">> teardown: the host deletes the scripts still alive", true);
    }
    if (options_.traceSink) options_.traceSink(">> teardown");
    while (!host_.scripts().empty()) host_.destroy(*host_.scripts().front());
  }
  const std::vector<std::string> pending = host_.pendingTriggers();
  for (const std::string& command : pending) {
    failures_.push_back("on " + shownText(command));
    failure_details_.push_back(failures_.back() + ": the trigger never fired");
    show(LineKind::Failure, "a trigger never fired: no script sent " + shownText(command));
  }
  if (coverage_) {
    coverage_->neverFired(pending);
    showLines(LineKind::View, coverage_->report(installation_), true);
  }
  RunSummary& summary = summary_;
  summary.actions = actions_;
  summary.expectations = expectations_;
  summary.notMet = failures_.size();
  summary.errors = validator_.unexpectedErrors();
  summary.warnings = validator_.count(Severity::Warning);
  summary.debugLines = host_.debugLines();
  const bool passed = !stopped_ && failures_.empty() && summary.errors == 0;
  summary.verdict = passed                        ? Verdict::Passed
                    : stopped_ && !contract_stop_ ? Verdict::BadInput
                                                  : Verdict::Failed;
  show(LineKind::Result,
       std::string("==== ") + namesOf(summary.verdict).heading + ": " + std::to_string(actions_) +
           " actions, " + std::to_string(expectations_) + " expectations, " +
           std::to_string(failures_.size()) + " not met, " + std::to_string(summary.errors) +
           " unexpected validation errors, " + std::to_string(summary.warnings) + " warnings" +
           (summary.debugLines == 0
                ? std::string()
                : ", " + std::to_string(summary.debugLines) +
                      (summary.debugLines == 1 ? " debug line" : " debug lines")),
       true);
  std::vector<std::string> lines;
  if (stopped_) lines.push_back((contract_stop_ ? "stopped: " : "bad input: ") + *stopped_);
  for (const std::string& failure : failures_) lines.push_back("expectation not met: " + failure);
  std::size_t more = 0;
  for (const std::string& message : validator_.unexpectedMessages(&more)) {
    lines.push_back("error: " + message);
  }
  more += lines.size() > kSummaryMessages ? lines.size() - kSummaryMessages : 0;
  if (lines.size() > kSummaryMessages) lines.resize(kSummaryMessages);
  for (const std::string& line : lines) show(LineKind::Result, "  " + line);
  if (more != 0) show(LineKind::Result, "  ... and " + std::to_string(more) + " more");
  summary.messages = lines;
  if (more != 0) summary.messages.push_back("... and " + std::to_string(more) + " more");
  // Reports show what each failed expectation expected and what happened.
  const std::size_t first = stopped_ ? 1 : 0;
  for (std::size_t i = 0;
       i < failures_.size() && first + i < summary.messages.size() && first + i < kSummaryMessages;
       ++i) {
    summary.messages[first + i] = "expectation not met: " + failure_details_[i];
  }
  return summary.verdict;
}

}  // namespace drezhost
