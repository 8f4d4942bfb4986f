#include "scenario_runner.h"

#include <algorithm>
#include <sstream>

#include "data_files.h"
#include "scenario_parser.h"
#include "studio_view.h"

namespace drezhost {

namespace {

std::string counted(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " command\n" : " commands\n");
}

std::string listed(const std::vector<std::string>& lines) {
  if (lines.empty()) return "    (no commands)\n";
  std::string text;
  for (const std::string& line : lines) text += "    " + line + "\n";
  return text;
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
      options_(options),
      factory_(std::move(factory)),
      installation_(studioA()),
      trace_(options.showTrace ? &out : nullptr),
      host_(installation_, trace_, validator_) {
  validator_.setListener([this](const Problem& problem) {
    out_ << (problem.severity == Severity::Error ? "       !! error: " : "       !  warning: ")
         << problem.message << "\n";
  });
}

void ScenarioRunner::run(const Step& step) {
  try {
    if (step.isExpectation()) {
      ++expectations_;
      check(step);
    } else if (step.isAction()) {
      ++actions_;
      if (options_.showTrace) out_ << "\n>> " << step.source << "    (" << step.where() << ")\n";
      host_.takeCommands();
      window_.clear();
      mark_ = validator_.mark();
      act(step);
      window_ = host_.takeCommands();
      if (options_.showStudio) out_ << renderStudio(installation_, host_.scripts());
    } else {
      change(step);
    }
  } catch (const InstallationError& error) {
    throw ScenarioError(step.where() + ": " + error.what());
  }
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
    out_ << "\n==== " << say->text << "\n";
  } else if (step.as<steps::Help>()) {
    out_ << scenarioHelp();
  } else if (const auto* on = step.as<steps::On>()) {
    host_.onCommand(on->command, [this, changes = on->changes] {
      for (const Step& change : changes) {
        try {
          act(change);
        } catch (const std::exception& error) {
          failures_.push_back(change.where() + ": " + change.source);
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
      throw ScenarioError(step.where() + ": a script named '" + name + "' is alive already");
    }
    ++created_;
    if (host_.create(name, factory_, create->path) == nullptr) {
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
      failed(step, "the command " + sent->command, counted(window_.size()) + listed(window_));
    }
  } else if (const auto* reply = step.as<steps::ExpectReply>()) {
    if (!requested_) return failed(step, "a reply", "no request was sent yet");
    if (reply_ != reply->reply) failed(step, shown(reply->reply), shown(reply_));
  } else if (const auto* output = step.as<steps::ExpectOutput>()) {
    const Device* device = outputs(step, output->device).first;
    const int32_t state = device->output(output->index);
    if (state != output->state) failed(step, std::to_string(output->state), std::to_string(state));
  } else if (const auto* lamps = step.as<steps::ExpectLamps>()) {
    const auto found = outputs(step, lamps->device);
    DeviceName window = *found.second;
    window.lamps = static_cast<int32_t>(lamps->states.size());
    Device expected = *found.first;
    for (std::size_t i = 0; i < lamps->states.size(); ++i) {
      expected.outputs[window.offset + static_cast<int32_t>(i)] = lamps->states[i];
    }
    const std::string want = lampRows(expected, window);
    const std::string have = lampRows(*found.first, window);
    if (want != have) failed(step, "\n" + want, "\n" + have);
  } else if (const auto* property = step.as<steps::ExpectProperty>()) {
    const std::string value =
        control(step, property->panel, property->control).property(property->property);
    if (value != property->value) failed(step, quoteText(property->value), quoteText(value));
  } else if (const auto* problem = step.as<steps::ExpectProblem>()) {
    checkProblem(step, problem->severity, problem->text);
  }
}

void ScenarioRunner::checkCommands(const Step& step, const std::vector<std::string>& expected) {
  if (window_ == expected) return;
  std::size_t same = 0;
  while (same < window_.size() && same < expected.size() && window_[same] == expected[same]) ++same;
  failed(step, counted(expected.size()) + listed(expected),
         counted(window_.size()) + listed(window_) + "  first difference: command " +
             std::to_string(same + 1));
}

void ScenarioRunner::checkProblem(const Step& step, Severity severity, const std::string& text) {
  if (validator_.expect(severity, text, mark_)) return;
  std::string reported;
  const auto& problems = validator_.problems();
  for (std::size_t i = mark_; i < problems.size(); ++i) {
    if (problems[i].severity != severity) continue;
    reported +=
        "\n    " + problems[i].message + (problems[i].expected ? "  (matched already)" : "");
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
    throw ScenarioError(step.where() + ": no script named '" + name + "' is alive");
  return *script;
}

Control& ScenarioRunner::control(const Step& step, const std::string& panelId,
                                 const std::string& id) {
  Panel* panel = installation_.panel(panelId);
  if (panel == nullptr)
    throw ScenarioError(step.where() + ": no panel '" + panelId + "' is loaded");
  Control* control = panel->control(id);
  if (control == nullptr) {
    throw ScenarioError(step.where() + ": panel '" + panelId + "' has no control '" + id + "'");
  }
  return *control;
}

std::pair<const Device*, const DeviceName*> ScenarioRunner::outputs(const Step& step,
                                                                    const std::string& name) {
  const DeviceName* entry = installation_.findName(name);
  if (entry == nullptr) throw ScenarioError(step.where() + ": no device '" + name + "'");
  const Device* device = installation_.findDevice(entry->number);
  if (device->kind != DeviceKind::Outputs) {
    throw ScenarioError(step.where() + ": '" + name + "' is " + kindDescription(device->kind) +
                        ", not an output device");
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
  failures_.push_back(step.where() + ": " + step.source);
  out_ << step.where() << ": expectation failed: " << step.source
       << "\n  expected:" << value(expected, " ") << "\n  actual:" << value(actual, "   ") << "\n";
}

int ScenarioRunner::finish() {
  if (!host_.scripts().empty()) {
    if (options_.showTrace) out_ << "\n>> teardown: the host deletes the scripts still alive\n";
    while (!host_.scripts().empty()) host_.destroy(*host_.scripts().front());
  }
  for (const std::string& command : host_.pendingTriggers()) {
    failures_.push_back("on " + command);
    out_ << "a trigger never fired: no script sent " << command << "\n";
  }
  const std::size_t errors = validator_.unexpectedErrors();
  const std::size_t warnings = validator_.count(Severity::Warning);
  const bool passed = failures_.empty() && errors == 0;
  out_ << "\n==== " << (passed ? "PASSED" : "FAILED") << ": " << actions_ << " actions, "
       << expectations_ << " expectations, " << failures_.size() << " not met, " << errors
       << " unexpected validation errors, " << warnings << " warnings\n";
  for (const std::string& failure : failures_) out_ << "  expectation not met: " << failure << "\n";
  for (const Problem& problem : validator_.problems()) {
    if (problem.severity == Severity::Error && !problem.expected)
      out_ << "  error: " << problem.message << "\n";
  }
  return passed ? 0 : 1;
}

}  // namespace drezhost
