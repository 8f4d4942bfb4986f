#include "scenario_runner.h"

#include <algorithm>

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

DeviceKind kindNamed(const std::string& word) {
  if (word == "router") return DeviceKind::Router;
  if (word == "outputs") return DeviceKind::Outputs;
  return DeviceKind::Infodriver;
}

}  // namespace

ScenarioRunner::ScenarioRunner(ScriptFactory factory, std::ostream& out, RunOptions options)
    : out_(out),
      options_(options),
      factory_(std::move(factory)),
      installation_(Installation::studioA()),
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
  const auto& texts = step.texts;
  const auto& numbers = step.numbers;
  switch (step.kind) {
    case StepKind::Installation:
      if (!host_.scripts().empty()) {
        throw ScenarioError(step.where() + ": the installation can be replaced only while no script is alive");
      }
      installation_ = texts[0] == "empty" ? Installation() : Installation::studioA();
      break;
    case StepKind::Device:
      installation_.addDevice(texts[1], kindNamed(texts[0]), numbers[0], numbers[1], numbers[2], numbers[3]);
      break;
    case StepKind::RemoveDevice:
      installation_.removeDevice(texts[0]);
      break;
    case StepKind::RemovePanelFile:
      installation_.removePanelFile(texts[0]);
      break;
    case StepKind::RemoveControl:
      installation_.removeControl(texts[0], texts[1]);
      break;
    case StepKind::Source:
      installation_.nameSource(texts[0], numbers[0], texts[1]);
      break;
    case StepKind::PanelFile:
      installation_.addPanelFile(texts[0], std::vector<std::string>(texts.begin() + 1, texts.end()));
      break;
    case StepKind::Property:
      control(step, texts[0]).setProperty(texts[1], texts[2]);
      break;
    case StepKind::HostPolls:
      host_.setPollDelivery(texts[0] == "queued" ? PollDelivery::Queued
                            : texts[0] == "off"  ? PollDelivery::Off
                                                 : PollDelivery::Reentrant);
      break;
    case StepKind::HostLookups:
      host_.setAnswerLookups(numbers[0] != 0);
      break;
    case StepKind::Use:
      current_ = target(step).name;
      break;
    case StepKind::Show:
      out_ << renderStudio(installation_, host_.scripts());
      break;
    case StepKind::Say:
      out_ << "\n==== " << texts[0] << "\n";
      break;
    case StepKind::Help:
      out_ << scenarioHelp();
      break;
    case StepKind::On:
      host_.onCommand(texts[0], [this, step] {
        for (const Step& change : step.then) {
          try {
            act(change);
          } catch (const std::exception& error) {
            failures_.push_back(change.where() + ": " + change.source);
            out_ << change.where() << ": this change cannot be made: " << error.what() << "\n";
          }
        }
      });
      break;
    default:
      break;
  }
}

void ScenarioRunner::act(const Step& step) {
  const auto& texts = step.texts;
  const auto& numbers = step.numbers;
  switch (step.kind) {
    case StepKind::Create: {
      const std::string name = texts[0].empty() ? "s" + std::to_string(created_ + 1) : texts[0];
      if (host_.findScript(name) != nullptr) {
        throw ScenarioError(step.where() + ": a script named '" + name + "' is alive already");
      }
      ++created_;
      if (host_.create(name, factory_, texts[1]) == nullptr) {
        throw ScenarioError(step.where() + ": cannot go on: the panel library created no script");
      }
      current_ = name;
      break;
    }
    case StepKind::Delete: {
      Script& script = target(step);
      const bool wasCurrent = script.name == current_;
      host_.destroy(script);
      if (wasCurrent) current_ = host_.scripts().empty() ? std::string() : host_.scripts().back()->name;
      break;
    }
    case StepKind::Set:
      host_.setSlot(texts[0], numbers[0], texts[1]);
      break;
    case StepKind::Route:
      host_.route(texts[0], numbers[0], numbers[1], texts[1]);
      break;
    case StepKind::Request:
      reply_ = host_.request(target(step), texts[0]);
      requested_ = true;
      break;
    case StepKind::Event:
      host_.fireEvent(target(step), numbers[0]);
      break;
    case StepKind::Control:
      control(step, texts[0]);
      host_.controlEvent(target(step), texts[0], texts[1]);
      break;
    case StepKind::Notify:
      host_.notify(target(step), numbers[0], numbers[1]);
      break;
    default:
      break;
  }
}

void ScenarioRunner::check(const Step& step) {
  const auto& texts = step.texts;
  const auto& numbers = step.numbers;
  switch (step.kind) {
    case StepKind::ExpectCommands:
      return checkCommands(step);
    case StepKind::ExpectSent:
      if (std::find(window_.begin(), window_.end(), texts[0]) == window_.end()) {
        failed(step, "the command " + texts[0], counted(window_.size()) + listed(window_));
      }
      return;
    case StepKind::ExpectReply:
    case StepKind::ExpectNoReply: {
      if (!requested_) return failed(step, "a reply", "no request was sent yet");
      const std::optional<std::string> expected =
          step.kind == StepKind::ExpectReply ? std::optional<std::string>(texts[0]) : std::nullopt;
      if (reply_ != expected) failed(step, shown(expected), shown(reply_));
      return;
    }
    case StepKind::ExpectOutput: {
      const Device* device = outputs(step, texts[0]).first;
      const int32_t state = device->output(numbers[0]);
      if (state != numbers[1]) failed(step, std::to_string(numbers[1]), std::to_string(state));
      return;
    }
    case StepKind::ExpectLamps: {
      const auto found = outputs(step, texts[0]);
      DeviceName window = *found.second;
      window.lamps = static_cast<int32_t>(numbers.size());
      Device expected = *found.first;
      for (std::size_t i = 0; i < numbers.size(); ++i) {
        expected.outputs[window.offset + static_cast<int32_t>(i)] = numbers[i];
      }
      const std::string want = lampRows(expected, window);
      const std::string have = lampRows(*found.first, window);
      if (want != have) failed(step, "\n" + want, "\n" + have);
      return;
    }
    case StepKind::ExpectProperty: {
      const std::string value = control(step, texts[0]).property(texts[1]);
      if (value != texts[2]) failed(step, quoteText(texts[2]), quoteText(value));
      return;
    }
    case StepKind::ExpectError:
      return checkProblem(step, Severity::Error);
    case StepKind::ExpectWarning:
      return checkProblem(step, Severity::Warning);
    default:
      return;
  }
}

void ScenarioRunner::checkCommands(const Step& step) {
  if (window_ == step.block) return;
  std::size_t same = 0;
  while (same < window_.size() && same < step.block.size() && window_[same] == step.block[same]) ++same;
  failed(step, counted(step.block.size()) + listed(step.block),
         counted(window_.size()) + listed(window_) +
             "  first difference: command " + std::to_string(same + 1));
}

void ScenarioRunner::checkProblem(const Step& step, Severity severity) {
  if (validator_.expect(severity, step.texts[0], mark_)) return;
  std::string reported;
  const auto& problems = validator_.problems();
  for (std::size_t i = mark_; i < problems.size(); ++i) {
    if (problems[i].severity != severity) continue;
    reported += "\n    " + problems[i].message + (problems[i].expected ? "  (matched already)" : "");
  }
  const char* what = severity == Severity::Error ? "error" : "warning";
  failed(step, std::string(severity == Severity::Error ? "an " : "a ") + what + " containing " + quoteText(step.texts[0]),
         reported.empty() ? std::string("no ") + what + " during the last action" : reported);
}

Script& ScenarioRunner::target(const Step& step) {
  const std::string& name = step.script.empty() ? current_ : step.script;
  if (name.empty()) throw ScenarioError(step.where() + ": no script is alive: create one first");
  Script* script = host_.findScript(name);
  if (script == nullptr) throw ScenarioError(step.where() + ": no script named '" + name + "' is alive");
  return *script;
}

Control& ScenarioRunner::control(const Step& step, const std::string& id) {
  Panel* panel = installation_.panel(step.panel);
  if (panel == nullptr) throw ScenarioError(step.where() + ": no panel '" + step.panel + "' is loaded");
  Control* control = panel->control(id);
  if (control == nullptr) {
    throw ScenarioError(step.where() + ": panel '" + step.panel + "' has no control '" + id + "'");
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

void ScenarioRunner::failed(const Step& step, const std::string& expected, const std::string& actual) {
  // A value that begins with a line feed starts on a line of its own.
  auto value = [](std::string text, const char* pad) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return !text.empty() && text[0] == '\n' ? text : pad + text;
  };
  failures_.push_back(step.where() + ": " + step.source);
  out_ << step.where() << ": expectation failed: " << step.source << "\n  expected:" << value(expected, " ")
       << "\n  actual:" << value(actual, "   ") << "\n";
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
    if (problem.severity == Severity::Error && !problem.expected) out_ << "  error: " << problem.message << "\n";
  }
  return passed ? 0 : 1;
}

}  // namespace drezhost
