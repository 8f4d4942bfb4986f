#include "scenario/capture_scenario.h"

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <variant>
#include <vector>

#include "scenario/installation_file.h"
#include "scenario/parser.h"
#include "scenario/writer.h"
#include "simulator/command_parser.h"
#include "simulator/installation_learner.h"
#include "simulator/trace.h"

namespace drezhost {

namespace {

using namespace drezcapture;

std::string textOf(const Text& text) { return text ? *text : std::string(); }

// The studio the capture shows, learned from its commands and the host's
// answers to them as the simulated host learns a script's: every control
// event came from a control of panel "1".
Installation installationFrom(const Capture& capture) {
  Installation installation;
  InstallationLearner learner(installation, InstallationLearner::Sizing::AsUsed);
  for (const Entry& entry : capture.entries) {
    if (const auto* command = std::get_if<CommandEntry>(&entry)) {
      if (std::optional<HostCommand> parsed = parseHostCommand(textOf(command->text), nullptr)) {
        const bool replied = command->result.kind == ResultKind::kReply;
        learner.learn(*parsed, replied ? &command->result.text : nullptr);
      }
    } else if (const auto* control = std::get_if<ControlEntry>(&entry)) {
      learner.addControl("1", textOf(control->id));
    }
  }
  learner.finish();
  return installation;
}

// The name a scenario uses for device `number`.
std::string nameOf(const Installation& installation, int32_t number) {
  for (const DeviceName& name : installation.names()) {
    if (name.number == number) return name.name;
  }
  return "Device " + std::to_string(number);
}

// The scenario's lines, as they are written: only what the parser reads
// back, each line within its limit.
class ScenarioText {
 public:
  void step(const StepBody& step, const std::string& what) {
    const std::optional<std::string> text = writeStep(step);
    if (!text) {
      comment(what + ": a text of it no scenario line can hold");
      return;
    }
    std::istringstream lines(*text);
    ScenarioParser parser("the scenario written");
    try {
      for (std::string line; std::getline(lines, line);) {
        if (line.size() >= ScenarioParser::kLineLimit) {
          comment(what + ": a text of it longer than a scenario line may be (" +
                  std::to_string(ScenarioParser::kLineLimit) + " bytes)");
          return;
        }
        parser.feed(line);
      }
      parser.finish();
    } catch (const ScenarioError&) {
      comment(what + ": a text of it no scenario line reads back");
      return;
    }
    text_ += *text + "\n";
  }
  void comment(const std::string& text) { text_ += "# " + shownText(text) + "\n"; }
  void raw(const std::string& text) { text_ += text; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// Turns the capture's host calls into steps, in order.
class Writer {
 public:
  Writer(const Capture& capture, const Installation& installation)
      : capture_(capture), installation_(installation) {
    for (std::size_t i = 0; i < capture.entries.size(); ++i) {
      if (const auto* end = std::get_if<EndEntry>(&capture.entries[i])) ends_[end->opening] = i;
    }
    findPollAnswers();
  }

  void write(ScenarioText& out) {
    const std::vector<Entry>& entries = capture_.entries;
    // The calls the capture holds whole; one it ends inside is left out.
    const std::size_t whole = capture_.completeEntries;
    std::size_t i = 0;
    while (i < whole) {
      const LineHead& head = headOf(entries[i]);
      if (head.depth != 0 || !isCall(entries[i])) {
        ++i;
        continue;
      }
      const std::size_t end = endOf(i);
      if (answers_.count(i) != 0) {
        // A poll's answer: the studio already holds it; its commands belong
        // to the action before.
        appendCommands(i, end);
        i = end + 1;
        continue;
      }
      flush(out);
      if (lookupsFailed(i, end)) {
        // The host answered no lookup in this call, though the studio has
        // the names (another script's lookups of them were answered).
        out.step(steps::HostLookups{false}, "the lookups it did not answer");
        lookups_off_ = true;
      }
      const std::size_t call = i;
      writeTriggers(out, call, end);
      writeCall(out, call);
      appendCommands(call, end);
      thrown_ = std::get<EndEntry>(entries[end]).result.kind == ResultKind::kException;
      i = end + 1;
      // One studio change reaches every script registered for it: the same
      // update to the other scripts right after it belongs to its step.
      const auto* change = std::get_if<DeviceEntry>(&entries[call]);
      if (change != nullptr && changeOf(*change)) {
        std::set<int64_t> reached = {change->head.script};
        while (i < whole) {
          const auto* next = std::get_if<DeviceEntry>(&entries[i]);
          if (next == nullptr || answers_.count(i) != 0 || !sameUpdate(*next, *change) ||
              !reached.insert(next->head.script).second) {
            break;
          }
          const std::size_t next_end = endOf(i);
          appendCommands(i, next_end);
          i = next_end + 1;
        }
      }
    }
    flush(out);
    for (std::size_t k = whole; k < entries.size(); ++k) {
      if (headOf(entries[k]).depth == 0 && isCall(entries[k])) {
        out.comment("the capture ends inside the call at its line " +
                    std::to_string(headOf(entries[k]).line) + ", which is left out");
        break;
      }
    }
  }

 private:
  static bool isCall(const Entry& entry) { return isHostCall(kindOf(entry)); }

  static bool sameUpdate(const DeviceEntry& a, const DeviceEntry& b) {
    return a.device == b.device && a.index == b.index && a.number == b.number && a.text == b.text;
  }

  std::size_t endOf(std::size_t opening) const {
    auto found = ends_.find(opening);
    return found != ends_.end() ? found->second : capture_.entries.size() - 1;
  }

  // The device updates that answer a poll the script sent before: the
  // simulated studio answers those polls itself.
  void findPollAnswers() {
    std::set<std::pair<int64_t, int64_t>> pending;
    for (std::size_t i = 0; i < capture_.entries.size(); ++i) {
      const Entry& entry = capture_.entries[i];
      if (const auto* command = std::get_if<CommandEntry>(&entry)) {
        std::optional<HostCommand> parsed = parseHostCommand(textOf(command->text), nullptr);
        if (parsed && parsed->definition->use == DREZ_USE_POLL) {
          const int64_t first = parsed->numberOf(DREZ_OPERAND_FIRST);
          const int64_t last = parsed->numberOf(DREZ_OPERAND_LAST);
          for (int64_t index = first; index <= last && index - first < 4096; ++index) {
            pending.insert({parsed->numberOf(DREZ_OPERAND_DEVICE), index});
          }
        }
      } else if (const auto* device = std::get_if<DeviceEntry>(&entry)) {
        auto found = pending.find({device->device, device->index});
        if (found == pending.end()) continue;
        pending.erase(found);
        answers_.insert(i);
        if (state_.emplace(std::make_pair(device->device, device->index), i).second) {
          initial_.push_back(i);
        }
      }
    }
    // A host that left a polled index unanswered does not answer polls as
    // the simulated studio does: the scenario's host answers none, and the
    // updates that came are the scenario's own steps.
    if (!pending.empty()) {
      polls_off_ = true;
      answers_.clear();
      state_.clear();
      initial_.clear();
    }
  }

 public:
  // The studio's state before the first action: what the polls answered.
  void writeState(ScenarioText& out) const {
    if (polls_off_) out.step(steps::HostPolls{PollDelivery::Off}, "the polls its host left");
    for (std::size_t i : initial_) {
      const auto& device = std::get<DeviceEntry>(capture_.entries[i]);
      if (std::optional<StepBody> change = changeOf(device)) out.step(*change, "a poll's answer");
    }
  }

 private:
  std::optional<StepBody> changeOf(const DeviceEntry& device) const {
    const Device* known = installation_.findDevice(static_cast<int32_t>(device.device));
    if (known == nullptr) return std::nullopt;
    const std::string name = nameOf(installation_, known->number);
    if (known->kind == DeviceKind::Router) {
      return StepBody(steps::Route{{},
                                   name,
                                   static_cast<int32_t>(device.index),
                                   static_cast<int32_t>(device.number),
                                   textOf(device.text)});
    }
    if (known->kind == DeviceKind::Infodriver) {
      return StepBody(
          steps::Set{{}, name, static_cast<int32_t>(device.index), textOf(device.text)});
    }
    return std::nullopt;
  }

  std::string script(const LineHead& head) const { return "s" + std::to_string(head.script); }

  // The step's "to": empty for the script created last.
  std::string target(const LineHead& head) const {
    return script(head) == current_ ? std::string() : script(head);
  }

  // The calls the host made from inside a command of this call, as
  // triggers: set and route steps run from inside that command.
  void writeTriggers(ScenarioText& out, std::size_t begin, std::size_t end) {
    const std::vector<Entry>& entries = capture_.entries;
    for (std::size_t k = begin + 1; k < end; ++k) {
      const auto* command = std::get_if<CommandEntry>(&entries[k]);
      if (command == nullptr || command->result.kind != ResultKind::kOpen) continue;
      steps::On on;
      on.command = textOf(command->text);
      const std::size_t close = endOf(k);
      for (std::size_t j = k + 1; j < close; ++j) {
        if (headOf(entries[j]).depth != command->head.depth + 1 || !isCall(entries[j])) continue;
        if (answers_.count(j) != 0) continue;
        const auto* device = std::get_if<DeviceEntry>(&entries[j]);
        std::optional<StepBody> change = device ? changeOf(*device) : std::nullopt;
        if (!change) {
          out.comment("the host called into a script from inside " + on.command +
                      " in a way no scenario line says (capture line " +
                      std::to_string(headOf(entries[j]).line) + ")");
          continue;
        }
        Step step;
        step.body = *change;
        on.changes.push_back(step);
      }
      if (!on.changes.empty()) out.step(on, "a trigger");
    }
  }

  void writeCall(ScenarioText& out, std::size_t index) {
    const Entry& entry = capture_.entries[index];
    const LineHead& head = headOf(entry);
    const std::string at = " (capture line " + std::to_string(head.line) + ")";
    reply_.reset();
    open_ = true;
    if (uncreated_.count(script(head)) != 0) {
      out.comment("a call of " + script(head) + ", which no step of this scenario creates" + at);
      skipped_ = true;
      return;
    }
    std::visit(
        [&](const auto& call) {
          using Call = std::decay_t<decltype(call)>;
          if constexpr (std::is_same_v<Call, ExportEntry>) {
            const ResultKind made = std::get<EndEntry>(capture_.entries[endOf(index)]).result.kind;
            if (!call.host || made != ResultKind::kScript) {
              // A scenario's create gives the script a host, and must make one.
              out.comment(std::string("the export of ") + script(head) +
                          (!call.host ? ", which the host gave no host object,"
                                      : ", which made no script,") +
                          " as no scenario step can say" + at);
              uncreated_.insert(script(head));
              skipped_ = true;
              return;
            }
            steps::Create create;
            create.name = script(head);
            create.path = textOf(call.path);
            out.step(create, "the export");
            current_ = create.name;
          } else if constexpr (std::is_same_v<Call, DeviceEntry>) {
            if (std::optional<StepBody> change = changeOf(call)) {
              out.step(*change, "a device update");
            } else {
              out.comment("a device update of device " + std::to_string(call.device) +
                          ", whose kind the capture does not show (line " +
                          std::to_string(head.line) + ")");
            }
          } else if constexpr (std::is_same_v<Call, ControlEntry>) {
            out.step(steps::Control{{}, textOf(call.id), textOf(call.command), "1", target(head)},
                     "a control event");
          } else if constexpr (std::is_same_v<Call, RequestEntry>) {
            out.step(steps::Request{{}, textOf(call.text), target(head)}, "a request");
            const auto& end = std::get<EndEntry>(capture_.entries[endOf(index)]);
            reply_ = end.result.kind == ResultKind::kReply ? Text(end.result.text) : Text();
            expectReply_ = true;
          } else if constexpr (std::is_same_v<Call, EventEntry>) {
            out.step(steps::Event{{}, static_cast<int32_t>(call.id), target(head)}, "an event id");
          } else if constexpr (std::is_same_v<Call, NotifyEntry>) {
            steps::Notify notify;
            notify.kind = static_cast<int>(call.kind);
            notify.value = static_cast<int32_t>(call.value);
            notify.script = target(head);
            out.step(notify, "a notify");
          } else if constexpr (std::is_same_v<Call, DeleteEntry>) {
            out.step(steps::Delete{{}, script(head)}, "a deletion");
            if (current_ == script(head)) current_.clear();
          } else if constexpr (std::is_same_v<Call, ReleaseEntry>) {
            // drez-host hands a reply back as soon as the request returns.
            skipped_ = true;
          } else {
            out.comment("a call of kind " + std::to_string(static_cast<int>(kindOf(entry))) +
                        " that no scenario line says (capture line " + std::to_string(head.line) +
                        ")");
            skipped_ = true;
          }
        },
        entry);
  }

  // The commands of the call from `begin` to `end`, those of the calls
  // nested in it included, in the window of the last action.
  void appendCommands(std::size_t begin, std::size_t end) {
    for (std::size_t k = begin + 1; k < end; ++k) {
      if (const auto* command = std::get_if<CommandEntry>(&capture_.entries[k])) {
        window_.push_back(textOf(command->text));
      }
    }
  }

  void flush(ScenarioText& out) {
    if (open_ && !skipped_) {
      steps::ExpectCommands expect;
      expect.commands = window_;
      out.step(expect, "the commands of the step before");
      if (expectReply_) out.step(steps::ExpectReply{{}, reply_}, "the reply");
      if (thrown_) {
        out.step(steps::ExpectProblem{{}, Severity::Error, "an exception escaped the script"},
                 "the exception that ended it");
      }
    }
    if (lookups_off_) out.step(steps::HostLookups{true}, "the lookups answered again");
    window_.clear();
    open_ = false;
    skipped_ = false;
    expectReply_ = false;
    thrown_ = false;
    lookups_off_ = false;
  }

  // True when the call's lookups ("SD") all went unanswered and one of
  // them names a device the studio has.
  bool lookupsFailed(std::size_t begin, std::size_t end) const {
    bool known_failed = false;
    for (std::size_t k = begin + 1; k < end; ++k) {
      const auto* command = std::get_if<CommandEntry>(&capture_.entries[k]);
      if (command == nullptr) continue;
      const std::optional<HostCommand> parsed = parseHostCommand(textOf(command->text), nullptr);
      if (!parsed || parsed->id() != DREZ_LOOKUP_DEVICE) continue;
      if (command->result.kind == ResultKind::kReply) return false;
      const std::string& name = parsed->textOf(DREZ_OPERAND_NAME);
      for (const DeviceName& known : installation_.names()) {
        if (known.name == name) known_failed = true;
      }
    }
    return known_failed;
  }

  const Capture& capture_;
  const Installation& installation_;
  std::map<std::size_t, std::size_t> ends_;  // opening entry -> its end
  std::set<std::size_t> answers_;            // device updates that answer a poll
  std::map<std::pair<int64_t, int64_t>, std::size_t> state_;
  std::vector<std::size_t> initial_;
  bool polls_off_ = false;  // the capture's host left polls unanswered
  std::string current_;
  std::vector<std::string> window_;
  Text reply_;
  bool expectReply_ = false;
  bool open_ = false;
  bool skipped_ = false;
  bool thrown_ = false;              // the call ended by an exception
  std::set<std::string> uncreated_;  // the scripts no step creates
  bool lookups_off_ = false;         // the host answers no lookup in this call
};

}  // namespace

Installation installationOf(const Capture& capture) { return installationFrom(capture); }

std::string scenarioOf(const Capture& capture, const std::string& name) {
  const Installation installation = installationOf(capture);
  ScenarioText out;
  out.comment("A scenario made by drez-host replay --write-scenario from the capture " + name +
              ": " + capture.describe() + ".");
  out.comment("The studio as the capture shows it:");
  out.step(steps::Installation{true}, "the installation");
  out.raw(writeInstallation(installation, {}));
  Writer writer(capture, installation);
  writer.writeState(out);
  writer.write(out);
  return out.text();
}

std::string callDescription(const drezcapture::Entry& entry) {
  const std::string script = "s" + std::to_string(headOf(entry).script);
  return std::visit(
      [&](const auto& call) -> std::string {
        using Call = std::decay_t<decltype(call)>;
        if constexpr (std::is_same_v<Call, ExportEntry>) {
          return "the export of " + script + " (path " + quoteText(textOf(call.path)) + ")";
        } else if constexpr (std::is_same_v<Call, DeviceEntry>) {
          return "the device update of " + script + ": device " + std::to_string(call.device) +
                 " index " + std::to_string(call.index);
        } else if constexpr (std::is_same_v<Call, ControlEntry>) {
          return "the control event " + shownText(textOf(call.id)) + " to " + script;
        } else if constexpr (std::is_same_v<Call, RequestEntry>) {
          return "the request " + quoteText(textOf(call.text)) + " to " + script;
        } else if constexpr (std::is_same_v<Call, EventEntry>) {
          return "the event id " + std::to_string(call.id) + " to " + script;
        } else if constexpr (std::is_same_v<Call, NotifyEntry>) {
          return "the notify " + std::to_string(call.kind) + " to " + script;
        } else if constexpr (std::is_same_v<Call, DeleteEntry>) {
          return "the deletion of " + script;
        } else if constexpr (std::is_same_v<Call, CallbackEntry>) {
          return "the callback of kind " + std::to_string(call.kind) + " to " + script;
        } else {
          return "an entry";
        }
      },
      entry);
}

}  // namespace drezhost
