#include "fuzz_run.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <variant>

#include "scenario/installation_file.h"
#include "scenario/writer.h"
#include "simulator/host_observer.h"

namespace drezfuzz {

namespace steps = drezhost::steps;
using drezhost::Installation;
using drezhost::Script;
using drezhost::SimulatedHost;
using drezhost::StepBody;

namespace {

// How many of the script's latest commands a change from inside a command
// may pick from.
constexpr std::size_t kRecentCommands = 16;

// The host's error messages, by what they tell of; the first phrase a
// message holds names it.
const struct {
  const char* phrase;
  const char* kind;
} kBreaches[] = {
    {"when its call returned", "a reply kept"},
    {" twice", "a reply released twice"},
    {"never handed out", "a release of a pointer the host never handed out"},
    {"released a null reply", "a release of a null reply"},
    {"a command after AS", "a command after teardown"},
    {"was still open when the script was deleted", "a registration left open"},
    {"without sending AS", "a teardown without AS"},
    {"the script's handler failed and the event was lost", "an exception the framework caught"},
    {"an exception escaped the script", "an exception that escaped the script"},
    {"runaway loop", "a runaway loop"},
    {"calls into scripts nested", "calls nested too deeply"},
    {"non-null result", "a result where none is expected"},
    {"the export returned", "an export that gave no new script"},
    {"a thread other than the host's", "a command from another thread"},
    {"outside any call into a script", "a command outside any call"},
    {"command of unknown kind", "a command of an unknown kind"},
    {"command with a null text", "a command with a null text"},
};

// The command parser's words for a command it cannot read.
const char* const kMalformed[] = {"command code", "no closing quote", "operand", "takes ",
                                  "must be",      "outside",          "is not",  "neither"};

// The changes made from inside a command, in the order they were set, and
// which of them came.
class TriggerWatch : public drezhost::HostObserver {
 public:
  void expect(const std::string& command, std::size_t step) { waiting_.push_back({command, step}); }
  // The steps of the triggers that never fired.
  std::vector<std::size_t> unfired() const {
    std::vector<std::size_t> steps;
    for (const Waiting& trigger : waiting_) {
      if (!trigger.fired) steps.push_back(trigger.step);
    }
    return steps;
  }

  void triggerFired(const std::string& command) override {
    for (Waiting& trigger : waiting_) {
      if (!trigger.fired && trigger.command == command) {
        trigger.fired = true;
        return;
      }
    }
  }
  void enteringCall(const drezhost::HostCall&, const std::string&) override {}
  void leftCall() override {}
  void commandSent(const std::string&) override {}
  void updateDelivered(const drezhost::Device&, int32_t) override {}
  void controlEventSent(const std::string&) override {}

 private:
  struct Waiting {
    std::string command;
    std::size_t step = 0;
    bool fired = false;
  };
  std::vector<Waiting> waiting_;
};

// The scenario of a play, written as it goes (nothing without a file).
class ScenarioLog {
 public:
  ScenarioLog(const std::string& path, const Installation& installation) : path_(path) {
    if (path_.empty()) return;
    steps_.push_back("installation empty\n" + drezhost::writeInstallation(installation, {}));
    rewrite({});
  }
  ~ScenarioLog() {
    if (file_ != nullptr) std::fclose(file_);
  }
  ScenarioLog(const ScenarioLog&) = delete;
  ScenarioLog& operator=(const ScenarioLog&) = delete;

  bool active() const { return !path_.empty(); }

  // Writes `step` and returns its place.
  std::size_t add(const StepBody& step) {
    if (!active()) return 0;
    steps_.push_back(drezhost::writeStep(step).value_or(std::string()) + "\n");
    write(steps_.back());
    return steps_.size() - 1;
  }

  // Writes the whole scenario again, without the steps at `dropped`.
  void rewrite(const std::vector<std::size_t>& dropped) {
    if (!active()) return;
    if (file_ != nullptr) std::fclose(file_);
    file_ = std::fopen(path_.c_str(), "wb");
    if (file_ == nullptr) throw std::runtime_error("cannot write the scenario '" + path_ + "'");
    for (std::size_t i = 0; i < steps_.size(); ++i) {
      if (std::find(dropped.begin(), dropped.end(), i) == dropped.end()) write(steps_[i]);
    }
  }

 private:
  void write(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fflush(file_);
  }

  std::string path_;
  std::vector<std::string> steps_;
  std::FILE* file_ = nullptr;
};

// The setup's studio, with the controls the moves name that the panel
// files lack added to them.
Installation studioFor(const FuzzSetup& setup, const Program& program) {
  Installation installation = setup.installation();
  const FuzzTables& tables = setup.tables();
  for (const Move& move : program.moves) {
    const auto* control = std::get_if<steps::Control>(&move.step);
    if (control == nullptr) continue;
    for (const FuzzTables::Panel& panel : tables.panels) {
      if (panel.id != control->panel) continue;
      const std::vector<std::string>* controls = installation.panelFile(panel.file);
      if (controls != nullptr &&
          std::find(controls->begin(), controls->end(), control->control) == controls->end()) {
        installation.addPanelFile(panel.file, {control->control});
      }
    }
  }
  return installation;
}

class Player {
 public:
  Player(FuzzSetup& setup, const Program& program, const std::string& scenarioFile,
         drezhost::Trace::Sink trace)
      : setup_(setup),
        program_(program),
        studio_(studioFor(setup, program)),
        host_(studio_, trace_, validator_),
        log_(scenarioFile, studio_) {
    if (trace) trace_.setSink(std::move(trace));
    host_.setPollDelivery(program.polls);
    host_.setDebugChannel(&setup.debug());
    host_.addObserver(&triggers_);
    for (const Move& move : program.moves) remembers_ = remembers_ || move.recentCommand;
  }

  std::optional<Finding> play() {
    setup_.debug().clear();
    if (program_.polls == drezhost::PollDelivery::Queued) {
      log_.add(steps::HostPolls{drezhost::PollDelivery::Queued});
    }
    log_.add(steps::Create{{}, std::string(), program_.path});
    if (Script* script = host_.create("s1", setup_.factory(), program_.path)) {
      remember();
      for (const Move& move : program_.moves) {
        if (validator_.unexpectedErrors() != 0) break;
        if (std::optional<StepBody> step = resolve(move)) {
          const std::size_t place = log_.add(*step);
          std::visit([&](const auto& body) { apply(*script, body, place); }, *step);
          remember();
        }
      }
      log_.add(steps::Delete{});
      host_.destroy(*script);
    }
    log_.rewrite(triggers_.unfired());
    std::size_t more = 0;
    const std::vector<std::string> errors = validator_.unexpectedMessages(&more);
    if (errors.empty()) return std::nullopt;
    return Finding{breachOf(errors.front()), errors.front()};
  }

 private:
  // What `move` does here and now; nothing when it cannot be made.
  std::optional<StepBody> resolve(const Move& move) {
    if (const auto* control = std::get_if<steps::Control>(&move.step)) {
      const drezhost::Panel* panel = studio_.panel(control->panel);
      if (panel == nullptr || panel->control(control->control) == nullptr) return std::nullopt;
    }
    if (const auto* on = std::get_if<steps::On>(&move.step)) {
      steps::On made = *on;
      if (move.recentCommand) {
        if (recent_.empty()) return std::nullopt;
        made.command = recent_[*move.recentCommand % recent_.size()];
      }
      if (!drezhost::restFor(made.command, false)) return std::nullopt;
      return made;
    }
    return move.step;
  }

  // As drez-host's runner applies each step.
  void apply(Script&, const steps::Set& set, std::size_t) {
    host_.setSlot(set.infodriver, set.slot, set.text);
  }
  void apply(Script&, const steps::Route& route, std::size_t) {
    host_.route(route.router, route.destination, route.source, route.sourceName);
  }
  void apply(Script& script, const steps::Request& request, std::size_t) {
    host_.request(script, request.text);
  }
  void apply(Script& script, const steps::Event& event, std::size_t) {
    host_.fireEvent(script, event.id);
  }
  void apply(Script& script, const steps::Control& control, std::size_t) {
    host_.controlEvent(script, control.control, control.command);
  }
  void apply(Script& script, const steps::Notify& notify, std::size_t) {
    host_.notify(script, notify.kind, notify.value);
  }
  void apply(Script& script, const steps::On& on, std::size_t place) {
    triggers_.expect(on.command, place);
    host_.onCommand(on.command, [this, &script, changes = on.changes] {
      for (const drezhost::Step& change : changes) {
        std::visit([&](const auto& body) { apply(script, body, 0); }, change.body);
      }
    });
  }
  // No move is any other step.
  template <typename T>
  void apply(Script&, const T&, std::size_t) {}

  // The script's latest commands, for a change from inside one.
  void remember() {
    std::vector<std::string> sent = host_.takeCommands();
    if (!remembers_) return;
    for (std::string& command : sent) {
      if (recent_.size() == kRecentCommands) recent_.erase(recent_.begin());
      recent_.push_back(std::move(command));
    }
  }

  FuzzSetup& setup_;
  const Program& program_;
  Installation studio_;
  drezhost::Trace trace_;
  drezhost::Validator validator_;
  SimulatedHost host_;
  TriggerWatch triggers_;
  ScenarioLog log_;
  bool remembers_ = false;
  std::vector<std::string> recent_;
};

}  // namespace

std::optional<Finding> play(FuzzSetup& setup, const Program& program,
                            const std::string& scenarioFile, drezhost::Trace::Sink trace) {
  return Player(setup, program, scenarioFile, std::move(trace)).play();
}

std::string findingRecord(const Finding& finding) {
  return finding.kind + "\n" + finding.message + "\n";
}

std::optional<Finding> readFindingRecord(const std::string& record) {
  const std::size_t kindEnd = record.find('\n');
  if (kindEnd == std::string::npos || kindEnd == 0) return std::nullopt;
  const std::size_t messageEnd = record.find('\n', kindEnd + 1);
  if (messageEnd == std::string::npos) return std::nullopt;
  return Finding{record.substr(0, kindEnd), record.substr(kindEnd + 1, messageEnd - kindEnd - 1)};
}

std::string breachOf(const std::string& message) {
  for (const auto& breach : kBreaches) {
    if (message.find(breach.phrase) != std::string::npos) return breach.kind;
  }
  for (const char* phrase : kMalformed) {
    if (message.find(phrase) != std::string::npos) return "a malformed command";
  }
  return "a broken host rule";
}

}  // namespace drezfuzz
