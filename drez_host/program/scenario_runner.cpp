#include "scenario_runner.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "data_files.h"
#include "scenario_parser.h"
#include "studio_view.h"
#include "text_diff.h"

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

// Applies a step that changes the installation itself; false for any other.
bool changeInstallation(Installation& installation, const Step& step) {
  if (const auto* device = step.as<steps::Device>()) {
    installation.addDevice(device->name, device->kind, device->number, device->offset, device->size,
                           device->lamps);
  } else if (const auto* remove = step.as<steps::RemoveDevice>()) {
    installation.removeDevice(remove->name);
  } else if (const auto* file = step.as<steps::RemovePanelFile>()) {
    installation.removePanelFile(file->file);
  } else if (const auto* control = step.as<steps::RemoveControl>()) {
    installation.removeControl(control->file, control->control);
  } else if (const auto* source = step.as<steps::Source>()) {
    installation.nameSource(source->router, source->source, source->name);
  } else if (const auto* panelFile = step.as<steps::PanelFile>()) {
    installation.addPanelFile(panelFile->file, panelFile->controls);
  } else {
    return false;
  }
  return true;
}

}  // namespace

Installation readInstallation(const std::string& text, const std::string& file) {
  Installation installation;
  std::istringstream in(text);
  for (const Step& step : parseScenario(in, file)) {
    try {
      if (changeInstallation(installation, step)) continue;
      // No script can be registered yet: a slot or a route is only set.
      if (const auto* set = step.as<steps::Set>()) {
        installation.setSlot(set->infodriver, set->slot, set->text);
      } else if (const auto* route = step.as<steps::Route>()) {
        installation.route(route->router, route->destination, route->source, route->sourceName);
      } else {
        throw ScenarioError(step.where() +
                            ": an installation file holds only device, source, panelfile, remove, "
                            "set and route lines, not: " +
                            step.source);
      }
    } catch (const InstallationError& error) {
      throw ScenarioError(step.where() + ": " + error.what());
    }
  }
  return installation;
}

Installation studioA() { return readInstallation(dataFileText("studio_a.scn"), "studio_a.scn"); }

ScenarioRunner::ScenarioRunner(ScriptFactory factory, std::ostream& out, RunOptions options)
    : out_(out),
      options_(std::move(options)),
      factory_(std::move(factory)),
      coverage_(options_.coverage ? std::make_unique<Coverage>() : nullptr),
      installation_(studioA()),
      trace_(options_.showTrace ? &out : nullptr),
      host_(installation_, trace_, validator_) {
  host_.setMaxDepth(options_.maxDepth);
  if (options_.keepActionTrace || options_.traceSink) {
    trace_.setSink([this](const std::string& line) { record(line); });
  }
  validator_.setListener([this](const Problem& problem) {
    const std::string line =
        (problem.severity == Severity::Error ? "       !! error: " : "       !  warning: ") +
        problem.message;
    out_ << line << "\n";
    out_.flush();
    record(line);
  });
  if (coverage_) host_.addObserver(coverage_.get());
}

void ScenarioRunner::record(const std::string& line) {
  if (options_.keepActionTrace) {
    if (action_trace_.size() < kActionTraceLimit) action_trace_.push_back(line);
    ++action_trace_total_;
  }
  if (options_.traceSink) options_.traceSink(line);
}

void ScenarioRunner::run(const Step& step) {
  try {
    if (step.isExpectation()) {
      ++expectations_;
      check(step);
    } else if (step.isAction()) {
      ++actions_;
      const std::string shown = shownText(step.source);
      if (options_.showTrace) out_ << "\n>> " << shown << "    (" << step.where() << ")\n";
      if (options_.traceSink) options_.traceSink(">> " + shown);
      host_.takeCommands();
      window_.clear();
      action_trace_.clear();
      action_trace_total_ = 0;
      validator_.forgetBefore(mark_);
      mark_ = validator_.mark();
      act(step);
      window_ = host_.takeCommands(&window_total_);
      if (options_.showStudio) out_ << renderStudio(installation_, host_.scripts());
    } else {
      change(step);
    }
  } catch (const InstallationError& error) {
    out_.flush();
    throw ScenarioError(step.where() + ": " + error.what());
  }
  out_.flush();
}

void ScenarioRunner::change(const Step& step) {
  if (changeInstallation(installation_, step)) return;
  if (const auto* installation = step.as<steps::Installation>()) {
    if (!host_.scripts().empty()) {
      throw ScenarioError(step.where() +
                          ": the installation can be replaced only while no script is alive");
    }
    installation_ = installation->empty ? Installation() : studioA();
  } else if (const auto* property = step.as<steps::Property>()) {
    control(step, property->panel, property->control)
        .setProperty(property->property, property->value);
  } else if (const auto* polls = step.as<steps::HostPolls>()) {
    host_.setPollDelivery(polls->delivery);
  } else if (const auto* lookups = step.as<steps::HostLookups>()) {
    host_.setAnswerLookups(lookups->answer);
  } else if (const auto* statesheet = step.as<steps::Statesheet>()) {
    colours_[statesheet->name] = statesheet->colour;
  } else if (const auto* use = step.as<steps::Use>()) {
    current_ = target(step, use->script).name;
  } else if (step.as<steps::Show>()) {
    out_ << renderStudio(installation_, host_.scripts());
  } else if (const auto* say = step.as<steps::Say>()) {
    out_ << "\n==== " << shownText(say->text) << "\n";
  } else if (step.as<steps::Help>()) {
    out_ << scenarioHelp();
  } else if (const auto* on = step.as<steps::On>()) {
    host_.onCommand(on->command, [this, changes = on->changes] {
      for (const Step& change : changes) {
        try {
          act(change);
        } catch (const std::exception& error) {
          failures_.push_back(change.where() + ": " + shownText(change.source));
          out_ << change.where() << ": this change cannot be made: " << error.what() << "\n";
        }
      }
    });
  }
}

void ScenarioRunner::act(const Step& step) {
  if (const auto* create = step.as<steps::Create>()) {
    const std::string name =
        create->name.empty() ? "s" + std::to_string(created_ + 1) : create->name;
    if (host_.findScript(name) != nullptr) {
      throw ScenarioError(step.where() + ": a script named '" + shownText(name) +
                          "' is alive already");
    }
    ++created_;
    if (host_.create(name, factory_, create->path) == nullptr) {
      if (host_.rejectedLastScript()) {
        throw ContractStop(step.where() +
                           ": cannot go on: the export returned something that is no new script");
      }
      throw ScenarioError(step.where() + ": cannot go on: the panel library created no script");
    }
    current_ = name;
  } else if (const auto* remove = step.as<steps::Delete>()) {
    Script& script = target(step, remove->script);
    const bool wasCurrent = script.name == current_;
    host_.destroy(script);
    if (wasCurrent)
      current_ = host_.scripts().empty() ? std::string() : host_.scripts().back()->name;
  } else if (const auto* set = step.as<steps::Set>()) {
    host_.setSlot(set->infodriver, set->slot, set->text);
  } else if (const auto* route = step.as<steps::Route>()) {
    host_.route(route->router, route->destination, route->source, route->sourceName);
  } else if (const auto* request = step.as<steps::Request>()) {
    reply_ = host_.request(target(step, request->script), request->text);
    requested_ = true;
  } else if (const auto* event = step.as<steps::Event>()) {
    host_.fireEvent(target(step, event->script), event->id);
  } else if (const auto* control = step.as<steps::Control>()) {
    this->control(step, control->panel, control->control);
    host_.controlEvent(target(step, control->script), control->control, control->command);
  } else if (const auto* notify = step.as<steps::Notify>()) {
    host_.notify(target(step, notify->script), notify->kind, notify->value);
  }
}

void ScenarioRunner::check(const Step& step) {
  if (const auto* commands = step.as<steps::ExpectCommands>()) {
    checkCommands(step, commands->commands);
  } else if (const auto* sent = step.as<steps::ExpectSent>()) {
    if (std::find(window_.begin(), window_.end(), sent->command) == window_.end()) {
      failed(step, "the command " + shownText(sent->command),
             counted(window_total_) + listed(window_, window_total_));
    }
  } else if (const auto* reply = step.as<steps::ExpectReply>()) {
    if (!requested_) return failed(step, "a reply", "no request was sent yet");
    if (reply_ != reply->reply) failed(step, shown(reply->reply), shown(reply_));
  } else if (const auto* output = step.as<steps::ExpectOutput>()) {
    const Device* device = outputs(step, output->device).first;
    const int32_t state = device->output(output->index);
    if (state != output->state) failed(step, std::to_string(output->state), std::to_string(state));
  } else if (const auto* lamps = step.as<steps::ExpectLamps>()) {
    checkLamps(step, *lamps);
  } else if (const auto* property = step.as<steps::ExpectProperty>()) {
    const std::string value =
        control(step, property->panel, property->control).property(property->property);
    if (value != property->value) failed(step, quoteText(property->value), quoteText(value));
  } else if (const auto* trace = step.as<steps::ExpectTrace>()) {
    checkTrace(step, trace->file);
  } else if (const auto* problem = step.as<steps::ExpectProblem>()) {
    checkProblem(step, problem->severity, problem->text);
  }
}

void ScenarioRunner::checkLamps(const Step& step, const steps::ExpectLamps& lamps) {
  const auto found = outputs(step, lamps.device);
  const DeviceName& name = *found.second;
  if (static_cast<int32_t>(lamps.states.size()) != name.lamps) {
    throw ScenarioError(step.where() + ": expect lamps names " +
                        std::to_string(lamps.states.size()) + " states, but '" +
                        shownText(name.name) + "' shows " + std::to_string(name.lamps) +
                        " lamps (outputs " + std::to_string(name.offset) + " to " +
                        std::to_string(name.offset + name.lamps - 1) + "): name one for each");
  }
  Device expected = *found.first;
  for (std::size_t i = 0; i < lamps.states.size(); ++i) {
    expected.outputs[name.offset + static_cast<int32_t>(i)] = lamps.states[i];
  }
  const std::string want = lampRows(expected, name);
  const std::string have = lampRows(*found.first, name);
  if (want != have) failed(step, "\n" + want, "\n" + have);
}

void ScenarioRunner::checkTrace(const Step& step, const std::string& file) {
  const std::filesystem::path path =
      std::filesystem::path(step.file).parent_path() / std::filesystem::path(file);
  if (options_.updateTraces) {
    std::ofstream written(path, std::ios::binary);
    for (const std::string& line : action_trace_) written << line << "\n";
    if (!written) throw ScenarioError(step.where() + ": cannot write '" + path.string() + "'");
    out_ << step.where() << ": wrote " << path.string() << "\n";
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

void ScenarioRunner::checkCommands(const Step& step, const std::vector<std::string>& expected) {
  if (window_ == expected && window_total_ == window_.size()) return;
  std::size_t same = 0;
  while (same < window_.size() && same < expected.size() && window_[same] == expected[same]) ++same;
  failed(step, counted(expected.size()) + listed(expected, expected.size()),
         counted(window_total_) + listed(window_, window_total_) + "  first difference: command " +
             std::to_string(same + 1));
}

void ScenarioRunner::checkProblem(const Step& step, Severity severity, const std::string& text) {
  if (validator_.expect(severity, text, mark_)) return;
  std::string reported;
  std::size_t count = 0;
  for (const Problem* problem : validator_.since(mark_, severity)) {
    if (++count > kListedCommands) continue;
    reported += "\n    " + problem->message + (problem->expected ? "  (matched already)" : "");
  }
  if (count > kListedCommands) {
    reported += "\n    ... and " + std::to_string(count - kListedCommands) + " more";
  }
  const char* what = severity == Severity::Error ? "error" : "warning";
  failed(step,
         std::string(severity == Severity::Error ? "an " : "a ") + what + " containing " +
             quoteText(text),
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
  out_ << step.where() << ": expectation failed: " << source
       << "\n  expected:" << value(expected, " ") << "\n  actual:" << value(actual, "   ") << "\n";
}

void ScenarioRunner::stop(const std::string& why, bool contract) {
  stopped_ = why;
  contract_stop_ = contract;
}

void ScenarioRunner::neverReached(const Step& step) {
  if (coverage_) coverage_->neverReached(step.where() + ": " + shownText(step.source));
}

int ScenarioRunner::finish() {
  if (!host_.scripts().empty()) {
    if (options_.showTrace) out_ << "\n>> teardown: the host deletes the scripts still alive\n";
    if (options_.traceSink) options_.traceSink(">> teardown");
    while (!host_.scripts().empty()) host_.destroy(*host_.scripts().front());
  }
  const std::vector<std::string> pending = host_.pendingTriggers();
  for (const std::string& command : pending) {
    failures_.push_back("on " + shownText(command));
    out_ << "a trigger never fired: no script sent " << shownText(command) << "\n";
  }
  if (coverage_) {
    coverage_->neverFired(pending);
    coverage_->print(out_, installation_);
  }
  RunSummary& summary = summary_;
  summary.actions = actions_;
  summary.expectations = expectations_;
  summary.notMet = failures_.size();
  summary.errors = validator_.unexpectedErrors();
  summary.warnings = validator_.count(Severity::Warning);
  const bool passed = !stopped_ && failures_.empty() && summary.errors == 0;
  summary.exitCode = passed ? 0 : (stopped_ && !contract_stop_) ? 2 : 1;
  const char* verdict = passed ? "PASSED" : summary.exitCode == 2 ? "STOPPED" : "FAILED";
  out_ << "\n==== " << verdict << ": " << actions_ << " actions, " << expectations_
       << " expectations, " << failures_.size() << " not met, " << summary.errors
       << " unexpected validation errors, " << summary.warnings << " warnings\n";
  std::vector<std::string> lines;
  if (stopped_) lines.push_back((contract_stop_ ? "stopped: " : "bad input: ") + *stopped_);
  for (const std::string& failure : failures_) lines.push_back("expectation not met: " + failure);
  std::size_t more = 0;
  for (const std::string& message : validator_.unexpectedMessages(&more)) {
    lines.push_back("error: " + message);
  }
  more += lines.size() > kSummaryMessages ? lines.size() - kSummaryMessages : 0;
  if (lines.size() > kSummaryMessages) lines.resize(kSummaryMessages);
  for (const std::string& line : lines) out_ << "  " << line << "\n";
  if (more != 0) out_ << "  ... and " << more << " more\n";
  summary.messages = lines;
  if (more != 0) summary.messages.push_back("... and " + std::to_string(more) + " more");
  out_.flush();
  return summary.exitCode;
}

}  // namespace drezhost
