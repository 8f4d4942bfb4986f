#include "jobs/monkey.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "isolation/child_run.h"
#include "isolation/isolation.h"
#include "jobs/job_setup.h"
#include "jobs/panel_offers.h"
#include "jobs/run_job.h"
#include "runner/coverage.h"
#include "runner/host_self_check.h"
#include "runner/runner.h"
#include "scenario/installation_file.h"
#include "scenario/parser.h"
#include "scenario/writer.h"
#include "simulator/installation_learner.h"
#include "simulator/trace.h"

namespace drezhost {

namespace {

// How many replays the shortening may make.
constexpr int kReplays = 300;

// A step's scenario text; empty when a text of it fits no scenario line.
std::string line(const StepBody& step) { return writeStep(step).value_or(std::string()); }

class EventMaker {
 public:
  EventMaker(std::uint64_t seed, ScenarioRunner& runner, std::string path)
      : random_(seed), runner_(runner), path_(std::move(path)) {}

  // The first event: the script is created with the export's path text.
  std::string first() const {
    steps::Create create;
    create.path = path_;
    return line(create);
  }

  // The next event: one scenario line, or a block of lines.
  std::string next(const std::vector<std::string>& lastWindow) {
    const unsigned pick = below(100);
    std::vector<Registration> ranges = registrations();
    if (pick < 35) {
      if (std::string line = changeLine(ranges, DeviceKind::Infodriver); !line.empty()) return line;
    } else if (pick < 55) {
      if (std::string line = changeLine(ranges, DeviceKind::Router); !line.empty()) return line;
    } else if (pick < 65) {
      static const char* const requests[] = {"return=all", "return=myParam", "myParam=abc",
                                             "instance=1", "_events",        "_commands",
                                             "",           "a.b.c=d",        "return=nothing"};
      if (!listed_.empty() && below(2) == 0) {
        // What the script's "_events" and "_commands" answers listed.
        const std::vector<std::string> offered =
            requestsFor(listed_[below(static_cast<unsigned>(listed_.size()))]);
        const std::string& request = offered[below(static_cast<unsigned>(offered.size()))];
        if (std::string text = line(steps::Request{{}, request, ""}); !text.empty()) return text;
      }
      return line(steps::Request{{}, requests[below(9)], ""});
    } else if (pick < 75) {
      if (std::string line = controlLine(); !line.empty()) return line;
    } else if (pick < 80) {
      steps::Notify notify;
      notify.kind = 6 + static_cast<int>(below(2));
      notify.value = static_cast<int32_t>(below(1000));
      return line(notify);
    } else if (pick < 90 && !lastWindow.empty()) {
      // A change made from inside a command the script sends again: its
      // last event repeated, with the studio changing during one of its
      // commands.
      if (std::optional<StepBody> change =
              changeStep(ranges, below(2) ? DeviceKind::Infodriver : DeviceKind::Router);
          change && !last_action_.empty()) {
        const std::string& command = lastWindow[below(static_cast<unsigned>(lastWindow.size()))];
        Step inside;
        inside.body = *change;
        // A command that no scenario line can name (a line break in it) is passed over.
        if (std::string on = line(steps::On{command, {inside}}); !on.empty()) {
          return on + "\n" + last_action_;
        }
      }
    }
    return line(steps::Event{{}, static_cast<int32_t>(below(20)), ""});
  }

  void acted(const std::string& line) {
    if (line.compare(0, 3, "on ") != 0) last_action_ = line;
    if (line == "request _events" || line == "request _commands") {
      for (const std::string& item : listedItems(runner_.lastReply().value_or(std::string()))) {
        if (std::find(listed_.begin(), listed_.end(), item) == listed_.end())
          listed_.push_back(item);
      }
    }
  }

 private:
  unsigned below(unsigned n) { return static_cast<unsigned>(random_() % n); }

  std::vector<Registration> registrations() {
    std::vector<Registration> ranges;
    for (Script* script : runner_.host().scripts()) {
      for (const Registration& registration : script->registrations.open()) {
        ranges.push_back(registration);
      }
    }
    return ranges;
  }

  std::string changeLine(const std::vector<Registration>& ranges, DeviceKind kind) {
    std::optional<StepBody> change = changeStep(ranges, kind);
    return change ? line(*change) : std::string();
  }

  // A set or route near one of the registered ranges of `kind`.
  std::optional<StepBody> changeStep(const std::vector<Registration>& ranges, DeviceKind kind) {
    std::vector<const Registration*> fitting;
    for (const Registration& range : ranges) {
      if (range.kind == kind) fitting.push_back(&range);
    }
    if (fitting.empty()) return std::nullopt;
    const Registration& range = *fitting[below(static_cast<unsigned>(fitting.size()))];
    const Device* device = runner_.installation().findDevice(range.device);
    if (device == nullptr || device->kind != kind) return std::nullopt;
    const DeviceName* named = runner_.installation().firstName(device->number);
    if (named == nullptr) return std::nullopt;
    const std::string& name = named->name;
    const int32_t span = range.last - range.first + 3;
    int32_t index = range.first - 1 + static_cast<int32_t>(below(static_cast<unsigned>(span)));
    index = std::max(1, std::min(index, device->size));
    if (kind == DeviceKind::Router) {
      return steps::Route{{}, name, index, static_cast<int32_t>(below(50)), ""};
    }
    static const char* const texts[] = {"0", "1", "2", "3", "", "-1", "x", "99999999999", "1"};
    return steps::Set{{}, name, index, texts[below(9)]};
  }

  std::string controlLine() {
    const auto& panels = runner_.installation().panels();
    if (panels.empty()) return std::string();
    const Panel& panel = panels[below(static_cast<unsigned>(panels.size()))];
    // The framework's own alarm ids, where the panel has them (a control
    // step names a control of the panel).
    const unsigned pick = below(10);
    if (pick == 0 && panel.control("AckAll") != nullptr) {
      return line(steps::Control{{}, "AckAll", "pressed", panel.id, ""});
    }
    if (pick == 1 && panel.control("ActionAll") != nullptr) {
      const std::vector<std::string>& alarms = alarmCommands();
      return line(steps::Control{
          {}, "ActionAll", alarms[below(static_cast<unsigned>(alarms.size()))], panel.id, ""});
    }
    if (panel.controls.empty()) return std::string();
    const Control& control = panel.controls[below(static_cast<unsigned>(panel.controls.size()))];
    static const char* const commands[] = {"value=1", "AckAll",  "",        "x.y=z",
                                           "value=0", "pressed", "released"};
    std::string command = commands[below(7)];
    if (pick < 4) {
      const std::vector<OfferedValue>& values = offeredValues();
      command = "value=" + values[below(static_cast<unsigned>(values.size()))].text;
    }
    // A value that no scenario line can hold (a line break) is passed over.
    if (std::string text = line(steps::Control{{}, control.id, command, panel.id, ""});
        !text.empty()) {
      return text;
    }
    return line(steps::Control{{}, control.id, "pressed", panel.id, ""});
  }

  std::mt19937_64 random_;
  ScenarioRunner& runner_;
  std::string path_;
  std::string last_action_;
  std::vector<std::string> listed_;  // the items of the script's "_events" and "_commands"
};

// What a run sent, told in one line: the controls and how many commands
// each, the event ids, the requests, the studio changes.
class Sent {
 public:
  void add(const StepBody& body) {
    if (const auto* control = std::get_if<steps::Control>(&body)) {
      ++controls_[control->control];
    } else if (const auto* event = std::get_if<steps::Event>(&body)) {
      ++events_;
      ids_.insert(event->id);
    } else if (const auto* request = std::get_if<steps::Request>(&body)) {
      ++requests_[request->text];
    } else if (std::holds_alternative<steps::Set>(body) ||
               std::holds_alternative<steps::Route>(body)) {
      ++changes_;
    } else if (std::holds_alternative<steps::Notify>(body)) {
      ++notifies_;
    } else if (const auto* on = std::get_if<steps::On>(&body)) {
      inside_ += on->changes.size();
    }
  }

  std::string told() const {
    std::vector<std::string> controls;
    std::size_t pressed = 0;
    for (const auto& entry : controls_) {
      controls.push_back(entry.first + " " + std::to_string(entry.second));
      pressed += entry.second;
    }
    std::vector<std::string> requests;
    std::size_t asked = 0;
    for (const auto& entry : requests_) {
      requests.push_back(entry.first);
      asked += entry.second;
    }
    std::string text = std::to_string(pressed) + " control events";
    if (!controls.empty()) text += " (" + someOf(controls, 12, false) + ")";
    text += ", " + std::to_string(events_) + " event ids";
    if (!ids_.empty()) {
      text += " (" + std::to_string(ids_.size()) + " ids, " + std::to_string(*ids_.begin()) +
              " to " + std::to_string(*ids_.rbegin()) + ")";
    }
    text += ", " + std::to_string(asked) + " requests";
    if (!requests.empty()) text += " (" + someOf(requests, 12, true) + ")";
    return text + ", " + std::to_string(changes_) + " studio changes, " + std::to_string(inside_) +
           " from inside a command, " + std::to_string(notifies_) + " notifies";
  }

 private:
  std::map<std::string, std::size_t> controls_;
  std::map<std::string, std::size_t> requests_;
  std::set<int32_t> ids_;
  std::size_t events_ = 0;
  std::size_t changes_ = 0;
  std::size_t inside_ = 0;
  std::size_t notifies_ = 0;
};

// Plays `events` (scenario text, one event each) on a quiet runner, stopping
// at the first unexpected error, then deletes the scripts still alive with
// the teardown checks. Tells `link` which event runs. Events that `maker`
// makes (when `given` is null) go to the parent before they run, so that
// it has them even when the script crashes in one. `afterEvent` runs after
// each event.
Verdict playEvents(ScenarioRunner& runner, const HostSelfCheck& selfCheck, ChildLink& link,
                   EventMaker* maker, int count, const std::vector<std::string>* given,
                   const std::function<void()>& afterEvent, Sent& sent, RunSummary& summary) {
  ScenarioParser parser("monkey");
  std::vector<std::string> window;
  const int events = given != nullptr ? static_cast<int>(given->size()) : count + 1;
  try {
    for (int i = 0; i < events; ++i) {
      std::string event;
      if (given != nullptr) {
        event = (*given)[static_cast<std::size_t>(i)];
      } else {
        event = i == 0 ? maker->first() : maker->next(window);
        link.send(messages::MonkeyEvent{event});
      }
      std::istringstream lines(event);
      std::string text;
      while (std::getline(lines, text)) {
        if (std::optional<Step> step = parser.feed(text)) {
          link.setStep("event " + std::to_string(i) + ": " + shownText(step->source));
          sent.add(step->body);
          runner.run(*step);
        }
      }
      if (maker != nullptr) maker->acted(event);
      afterEvent();
      window = runner.host().takeCommands();
      if (runner.validator().unexpectedErrors() != 0 || !selfCheck.findings().empty()) break;
      summary.actions = i;
    }
    // The end of every run: the host deletes the scripts, and checks that
    // each undid what it registered.
    if (runner.validator().unexpectedErrors() == 0 && selfCheck.findings().empty()) {
      link.setStep("the end: the host deletes the scripts still alive");
      while (!runner.host().scripts().empty())
        runner.host().destroy(*runner.host().scripts().front());
    }
  } catch (const ScenarioError& error) {
    summary.messages.push_back(error.what());
  }
  std::size_t more = 0;
  std::vector<std::string> errors = runner.validator().unexpectedMessages(&more);
  // drez-host's own faults come first: the script's errors may follow from them.
  errors.insert(errors.begin(), selfCheck.findings().begin(), selfCheck.findings().end());
  summary.errors = errors.size() + more;
  summary.verdict = !errors.empty()            ? Verdict::Failed
                    : summary.messages.empty() ? Verdict::Passed
                                               : Verdict::BadInput;
  if (!errors.empty()) summary.messages.insert(summary.messages.begin(), errors.front());
  link.setSummary(summary);
  return summary.verdict;
}

// `live`, an installation a run learned into, with the state `start` had:
// the studio that run began in, with what it learned.
Installation asStarted(const Installation& live, const Installation& start) {
  Installation begun = live;
  for (const DeviceName& name : live.names()) {
    Device* device = begun.findDevice(name.number);
    const Device* before = start.findDevice(name.number);
    if (device == nullptr) continue;
    device->slots = before != nullptr ? before->slots : std::map<int32_t, std::string>();
    device->routes = before != nullptr ? before->routes : std::map<int32_t, Route>();
    device->sourceNames =
        before != nullptr ? before->sourceNames : std::map<int32_t, std::string>();
    device->outputs = before != nullptr ? before->outputs : std::map<int32_t, int32_t>();
  }
  return begun;
}

}  // namespace

Verdict runTask(const tasks::Monkey& monkey, const TaskSettings& settings, ChildLink& link) {
  std::unique_ptr<LoadedLibrary> library = LoadedLibrary::open(settings.library, link);
  if (!library) return Verdict::BadInput;
  RunSummary summary;
  Verdict verdict = Verdict::Passed;
  {
    Coverage reached;                        // observes the host: it must outlive the runner
    std::optional<HostSelfCheck> selfCheck;  // the same
    std::optional<InstallationLearner> learner;
    ScenarioRunner runner(library->factory(), nullptr, runOptionsFor(settings, true));
    wire(runner, settings, link);
    runner.host().addObserver(&reached);
    runner.host().addObserver(&selfCheck.emplace(runner.host()));
    // What the run learns goes to the parent as it grows, so that a
    // reproducer of a crash has the installation its events ran in.
    const Installation start = runner.installation();
    std::size_t told = 0;
    auto tellLearned = [&](bool finish) {
      if (!learner || (!finish && learner->notes().size() == told)) return;
      told = learner->notes().size();
      if (finish) learner->finish();
      try {
        link.send(messages::LearnedInstallation{
            writeInstallation(asStarted(runner.installation(), start),
                              {"The installation drez-host learned from the script's start-up "
                               "and the monkey's run."})});
      } catch (const ScenarioError&) {
        // A name no scenario line holds: the installation learned before stands.
      }
    };
    if (monkey.learn && !monkey.again) {
      runner.host().setLearner(&learner.emplace(runner.installation()));
    }
    Sent sent;
    if (monkey.again) {
      verdict = playEvents(
          runner, *selfCheck, link, nullptr, 0, &*monkey.again, [] {}, sent, summary);
    } else {
      EventMaker maker(monkey.seed, runner, monkey.path);
      verdict = playEvents(
          runner, *selfCheck, link, &maker, monkey.events, nullptr, [&] { tellLearned(false); },
          sent, summary);
      link.send(messages::Reached{"sent " + sent.told() + "; reached " +
                                  reached.reached(runner.installation())});
      tellLearned(true);
    }
    runner.host().setLearner(nullptr);
  }
  return verdict;
}

namespace {

struct Replay {
  ExitStatus status = ExitStatus::Passed;  // held, broken, or crashed or hung
};

// Plays `events` again in a child process.
Replay replay(const std::vector<std::string>& events, const TaskSettings& settings,
              const Isolation& isolation) {
  tasks::Monkey again;
  again.again = events;
  const Outcome outcome = runIsolated(TaskOrder{settings, again}, isolation, "monkey");
  return Replay{exitStatusOf(outcome.verdict())};
}

// Removes events while the replay still fails the same way (ddmin-style:
// halves, then quarters, down to single events).
std::vector<std::string> shorten(std::vector<std::string> events, ExitStatus failure,
                                 const TaskSettings& settings, const Isolation& isolation) {
  int replays = 0;
  for (std::size_t chunk = events.size() / 2; chunk >= 1 && replays < kReplays; chunk /= 2) {
    for (std::size_t start = 1; start < events.size() && replays < kReplays;) {
      const std::size_t end = std::min(events.size(), start + chunk);
      std::vector<std::string> candidate;
      candidate.reserve(events.size() - (end - start));
      for (std::size_t i = 0; i < events.size(); ++i) {
        if (i < start || i >= end) candidate.push_back(events[i]);
      }
      ++replays;
      if (replay(candidate, settings, isolation).status == failure) {
        events = std::move(candidate);
      } else {
        start = end;
      }
    }
    if (chunk == 1) break;
  }
  return events;
}

// The lines of a scenario that plays `events` in the installation that
// `installation` (installation steps; empty: Studio A) describes, on its
// own: whatever installation the run that prints it was given.
std::vector<std::string> reproducer(const std::vector<std::string>& events,
                                    const std::string& installation) {
  std::vector<std::string> lines;
  lines.emplace_back(installation.empty() ? "installation studio-a" : "installation empty");
  std::istringstream steps(installation);
  for (std::string text; std::getline(steps, text);) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    lines.push_back(text);
  }
  if (!installation.empty()) lines.emplace_back();
  for (const std::string& event : events) {
    std::istringstream block(event);
    for (std::string text; std::getline(block, text);) lines.push_back(text);
  }
  return lines;
}

}  // namespace

ExitStatus monkeyJob(const CommonOptions& common, const MonkeyOptions& options) {
  Settling learning;
  learning.learn = true;
  learning.path = options.path;
  ExitStatus failed = ExitStatus::Passed;
  const std::optional<TaskSettings> settings = settleJob(common, learning, &failed);
  if (!settings) return failed;
  if (options.printInstallation) return printInstallation(*settings);
  const std::string name = "monkey, seed " + std::to_string(options.seed);
  std::cout << "monkey: seed " << options.seed << ", " << options.events << " events\n";
  std::cout.flush();
  std::vector<std::string> events;
  std::string reached;
  // The installation the events ran in: given, or learned at start-up and
  // on through the run.
  TaskSettings ranIn = *settings;
  ParentHooks hooks;
  hooks.message = [&](const ChildMessage& message) {
    if (const auto* event = std::get_if<messages::MonkeyEvent>(&message)) {
      events.push_back(event->lines);
    } else if (const auto* what = std::get_if<messages::Reached>(&message)) {
      reached = what->what;
    } else if (const auto* learned = std::get_if<messages::LearnedInstallation>(&message)) {
      ranIn.installation = learned->steps;
    }
  };
  tasks::Monkey monkey;
  monkey.seed = options.seed;
  monkey.events = options.events;
  monkey.path = options.path;
  monkey.learn = common.installation.empty();
  const Outcome outcome = runIsolated(TaskOrder{*settings, monkey}, common.isolation, name, hooks);
  const Result result = resultOf(name, outcome);
  if (!reached.empty()) std::cout << "monkey: " << reached << "\n";
  const Verdict verdict = result.verdict();
  if (verdict == Verdict::Passed) {
    std::cout << "monkey: the host contract held through " << options.events << " events (seed "
              << options.seed << ") and the teardown\n";
  } else if (verdict == Verdict::BadInput) {
    for (const std::string& message : details(result.ending)) std::cout << message << "\n";
  } else {
    const std::size_t reachedEvents = events.empty() ? 0 : events.size() - 1;
    std::cout << "monkey: seed " << options.seed << ", event " << reachedEvents << " of "
              << options.events << ": ";
    if (!outcome.finished()) {
      std::cout << "the script crashed or hung";
      printCrashReport(std::cout, result.ending);
    } else {
      const std::vector<std::string> findings = details(result.ending);
      std::cout << "the host contract was broken:\n  "
                << (findings.empty() ? std::string() : findings.front()) << "\n";
    }
    const std::vector<std::string> shortened =
        shorten(events, result.status(), ranIn, common.isolation);
    std::cout << "\nA scenario that reproduces it ("
              << (shortened.empty() ? 0 : shortened.size() - 1) << " of " << reachedEvents
              << " events, in the installation "
              << (common.installation.empty() ? "learned from the script" : "given")
              << "; drez-host --script LIBRARY FILE runs it):\n";
    for (const std::string& line : reproducer(shortened, ranIn.installation)) {
      std::cout << (line.empty() ? "" : "  ") << line << "\n";
    }
  }
  std::cout << "\n==== " << namesOf(verdict).heading << ": " << name << "\n";
  return finishJob(options.reports, "monkey", {result});
}

}  // namespace drezhost
