#include "jobs/validate_checks.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "console/terminal.h"
#include "drez_records.h"
#include "isolation/child_run.h"
#include "isolation/isolation.h"
#include "jobs/job_setup.h"
#include "jobs/panel_offers.h"
#include "jobs/reports.h"
#include "jobs/run_job.h"
#include "runner/coverage.h"
#include "runner/host_self_check.h"
#include "runner/runner.h"
#include "scenario/writer.h"
#include "simulator/installation_learner.h"
#include "simulator/trace.h"

namespace drezhost {

namespace {

// One run of a check: a runner in the job's installation (quiet, unless the
// check's calls are traced), what the check reached, and what it found. In
// a learned installation it goes on learning what the script addresses.
class CheckRun {
 public:
  CheckRun(const ScriptFactory& factory, const TaskSettings& settings, const tasks::Check& task,
           ChildLink& link)
      : factory_(factory),
        path_(task.path),
        runner_(factory, task.trace ? link.output() : nullptr,
                runOptionsFor(settings, !task.trace)) {
    wire(runner_, settings, link);
    runner_.host().addObserver(&reached_);
    self_check_ = std::make_unique<HostSelfCheck>(runner_.host());
    runner_.host().addObserver(self_check_.get());
    if (task.learn) {
      learner_ = std::make_unique<InstallationLearner>(runner_.installation());
      runner_.host().setLearner(learner_.get());
    }
  }
  ~CheckRun() { runner_.host().setLearner(nullptr); }
  CheckRun(const CheckRun&) = delete;
  CheckRun& operator=(const CheckRun&) = delete;

  const Installation& installation() const { return runner_.installation(); }

  SimulatedHost& host() { return runner_.host(); }
  const ScriptFactory& factory() const { return factory_; }
  // Creates a script; on failure, the check fails and this throws.
  Script& create(const std::string& name) { return create(name, path_); }
  Script& create(const std::string& name, const std::string& path) {
    Script* script = host().create(name, factory_, path);
    if (script == nullptr) throw Failed();
    return *script;
  }
  void fail(const std::string& message) { failures_.push_back(message); }
  // The check had nothing of the script's to exercise, for `why`.
  void skip(const std::string& why) { skipped_ = why; }
  // What the check reached, in one line: what the host saw, unless the
  // check said what it did itself.
  std::string reached() const {
    if (exercised_.empty()) return reached_.reached(runner_.installation());
    return alone_ ? exercised_ : exercised_ + "; " + reached_.reached(runner_.installation());
  }
  // What the check sent, in words; `alone`: not followed by what the host
  // saw (the host saw none of it).
  void exercised(const std::string& what, bool alone = false) {
    exercised_ = what;
    alone_ = alone;
  }
  const std::string& skipped() const { return skipped_; }
  const std::string& path() const { return path_; }
  // Runs steps as a scenario would; bad input is the check's own fault.
  void play(std::initializer_list<StepBody> bodies) {
    int line = 0;
    for (const StepBody& body : bodies) {
      Step step;
      step.file = "check";
      step.line = ++line;
      step.source = writeStep(body).value_or("(a step with a text no scenario line can hold)");
      step.body = body;
      runner_.run(step);
    }
  }
  // The script's registered ranges, as slots and destinations to update.
  std::vector<std::pair<const Device*, int32_t>> registeredIndices(Script& script) {
    std::vector<std::pair<const Device*, int32_t>> indices;
    for (const Registration& registration : script.registrations.open()) {
      const Device* device = runner_.installation().findDevice(registration.device);
      if (device == nullptr || device->kind != registration.kind) continue;
      const int32_t first = std::max(registration.first, 1);
      const int32_t last = std::min(registration.last, device->size);
      for (int32_t index = first; index <= last && indices.size() < 64; ++index) {
        indices.emplace_back(device, index);
      }
    }
    return indices;
  }
  // Changes index `index` of `device` to `text` (a slot) or source `number`,
  // through the first name the device has (none: nothing changes).
  void change(const Device& device, int32_t index, const std::string& text, int32_t number) {
    const DeviceName* name = runner_.installation().firstName(device.number);
    if (name == nullptr) return;
    if (device.kind == DeviceKind::Router) {
      host().route(name->name, index, number, text);
    } else {
      host().setSlot(name->name, index, text);
    }
  }
  // Deletes what is alive; returns the check's verdict and its messages.
  Verdict finish(std::vector<std::string>* messages) {
    for (Script* script : host().scripts()) host().destroy(*script);
    std::size_t more = 0;
    for (const std::string& message : runner_.validator().unexpectedMessages(&more)) {
      messages->push_back(message);
    }
    if (more != 0) messages->push_back("... and " + std::to_string(more) + " more errors");
    messages->insert(messages->end(), failures_.begin(), failures_.end());
    messages->insert(messages->end(), self_check_->findings().begin(),
                     self_check_->findings().end());
    if (!messages->empty()) return Verdict::Failed;
    return skipped_.empty() ? Verdict::Passed : Verdict::Skipped;
  }

  struct Failed {};

 private:
  const ScriptFactory factory_;  // a copy: the caller's is often a temporary
  std::string path_;
  Coverage reached_;  // observes the host: declared first, it outlives the runner
  std::unique_ptr<HostSelfCheck> self_check_;     // the same
  std::unique_ptr<InstallationLearner> learner_;  // the same
  ScenarioRunner runner_;
  std::vector<std::string> failures_;
  std::string skipped_;
  std::string exercised_;
  bool alone_ = false;
};

struct Check {
  const char* name;
  const char* description;
  std::function<void(CheckRun&)> run;
};

void startupTeardown(CheckRun& run, PollDelivery polls) {
  steps::Create create;
  create.path = run.path();
  run.play({steps::HostPolls{polls}, create, steps::Delete{}});
}

void oddKinds(CheckRun& run) {
  Script& script = run.create("s1");
  for (int kind : {0, 8, 9, -1, 100, INT_MAX, INT_MIN}) {
    const char* result = run.host().rawCall(script, kind, nullptr,
                                            "callback kind " + std::to_string(kind) + " (null)");
    if (result != nullptr) {
      run.fail("callback kind " + std::to_string(kind) +
               " returned a non-null result; kinds outside 1 to 7 must do nothing");
    }
  }
}

void nullAndOddData(CheckRun& run) {
  Script& script = run.create("s1");
  SimulatedHost& host = run.host();
  auto expectNull = [&](int kind, void* data, const std::string& what) {
    if (host.rawCall(script, kind, data, what) != nullptr) {
      run.fail(what + " returned a non-null result");
    }
  };
  const char* reply = host.rawCall(script, CB_HOST_REQUEST, nullptr, "request (null text)");
  if (reply != nullptr) {
    expectNull(CB_RELEASE_REPLY, const_cast<char*>(reply), "release the reply to a null request");
  }
  expectNull(CB_RELEASE_REPLY, nullptr, "release a null reply");
  for (intptr_t value : {intptr_t{0}, intptr_t{1}, intptr_t{-1}, intptr_t{INT_MAX}}) {
    expectNull(CB_NOTIFY6, reinterpret_cast<void*>(value),
               "notify 6 (" + std::to_string(value) + ")");
    expectNull(CB_NOTIFY7, reinterpret_cast<void*>(value),
               "notify 7 (" + std::to_string(value) + ")");
  }
  for (int32_t id : {0, -1, INT_MAX, INT_MIN}) host.fireEvent(script, id);
  ControlEvent empty{};
  expectNull(CB_CONTROL_EVENT, &empty, "control event with a null control id and null command");
}

void requestTexts(CheckRun& run) {
  Script& script = run.create("s1");
  std::string dotted = "name";
  for (int i = 0; i < 40; ++i) dotted += ".part" + std::to_string(i);
  for (const std::string& text :
       {std::string(), std::string("="), std::string("."), std::string("a.b.c=d.e"),
        std::string("return=all"), std::string("myParam=abc"), dotted + "=v",
        std::string(100000, 'x'), std::string("=") + std::string(100000, 'y'),
        std::string("\xff\xfe=\x01")}) {
    run.host().request(script, text);
  }
}

// How many controls the control-events check presses at most.
constexpr std::size_t kMostControls = 2000;

void controlEvents(CheckRun& run) {
  Script& script = run.create("s1");
  std::vector<std::string> commands = {"pressed", "released"};
  for (const OfferedValue& value : offeredValues()) commands.push_back("value=" + value.text);
  // Every control of the installation's panel files, then those the script
  // addressed meanwhile (learned while the check runs), until none is new.
  std::vector<std::string> pressed;
  std::size_t atStart = 0;
  for (bool more = true; more && pressed.size() < kMostControls;) {
    more = false;
    for (const std::string& id : controlIds(run.installation())) {
      if (std::find(pressed.begin(), pressed.end(), id) != pressed.end()) continue;
      if (pressed.size() >= kMostControls) break;
      for (const std::string& command : commands) run.host().controlEvent(script, id, command);
      pressed.push_back(id);
      more = true;
    }
    if (atStart == 0) atStart = pressed.size();
  }
  // The framework's own alarm ids, whether the panel file has them or not.
  run.host().controlEvent(script, "AckAll", "pressed");
  for (const std::string& command : alarmCommands()) {
    run.host().controlEvent(script, "ActionAll", command);
  }
  // Ids no panel has.
  for (const auto& event : std::vector<std::pair<std::string, std::string>>{
           {"", ""},
           {"", "="},
           {"x", "value=1"},
           {std::string(5000, 'c'), std::string(100000, 'v')}}) {
    run.host().controlEvent(script, event.first, event.second);
  }
  std::string what = pressed.empty() ? std::string("no control in the installation's panel files")
                                     : std::to_string(pressed.size()) + " controls (" +
                                           someOf(pressed, 8, false) + ")";
  if (pressed.size() > atStart) {
    what += ", " + std::to_string(pressed.size() - atStart) + " of them learned during the check";
  }
  if (!pressed.empty()) {
    what += ", " + std::to_string(commands.size()) +
            " commands each: pressed, released, value= with " + offeredValueNames();
  }
  run.exercised(what + "; AckAll pressed; ActionAll with " +
                std::to_string(alarmCommands().size()) + " alarm levels; 4 ids no panel has");
}

void eventIds(CheckRun& run) {
  Script& script = run.create("s1");
  for (int32_t id = 0; id <= 1000; ++id) run.host().fireEvent(script, id);
  for (int32_t id : {-1, INT_MIN, INT_MIN + 1, INT_MAX - 1, INT_MAX})
    run.host().fireEvent(script, id);
  run.exercised("event ids 0 to 1000, -1, INT_MIN, INT_MIN+1, INT_MAX-1 and INT_MAX (1,006 ids)");
}

void panelRequests(CheckRun& run) {
  Script& script = run.create("s1");
  std::string what;
  std::size_t sent = 0;
  for (const char* list : {"_events", "_commands"}) {
    const std::optional<std::string> answer = run.host().request(script, list);
    const std::vector<std::string> items = listedItems(answer.value_or(std::string()));
    if (items.empty()) continue;
    std::vector<std::string> named;
    for (const std::string& item : items) {
      const std::vector<std::string> requests = requestsFor(item);
      for (const std::string& request : requests) run.host().request(script, request);
      sent += requests.size();
      named.push_back(item + (requests.size() > 1
                                  ? " (" + std::to_string(requests.size()) + " values)"
                                  : std::string()));
    }
    what += (what.empty() ? "" : "; ") + std::string(list) + ": " + someOf(named, 8, false);
  }
  if (sent == 0) {
    run.skip("the script lists nothing in its \"_events\" and \"_commands\" answers");
    return;
  }
  run.exercised(std::to_string(sent) + " requests from what the script lists: " + what);
}

void deviceUpdates(CheckRun& run) {
  Script& script = run.create("s1");
  const auto indices = run.registeredIndices(script);
  if (indices.empty()) run.skip("the script registered no slot or destination to update");
  for (const auto& index : indices) {
    for (const std::string& text :
         {std::string(), std::string("-2147483648"), std::string("99999999999"),
          std::string("not a number"), std::string(65536, '7')}) {
      run.change(*index.first, index.second, text, text.size() % 5 == 0 ? -1 : 0x7fffffff);
    }
  }
}

void repliesOnce(CheckRun& run) {
  Script& script = run.create("s1");
  SimulatedHost& host = run.host();
  bool replied = false;
  for (const char* text : {"return=all", "myParam=abc", "return=myParam"}) {
    std::string request = text;
    std::vector<char> first(request.begin(), request.end());
    first.push_back('\0');
    std::vector<char> second = first;
    const char* a =
        host.rawCall(script, CB_HOST_REQUEST, first.data(), "request " + quoteText(text));
    const std::string aText = a != nullptr ? a : "";
    replied = replied || a != nullptr;
    const char* b =
        host.rawCall(script, CB_HOST_REQUEST, second.data(),
                     "request " + quoteText(text) + " again, the first reply still held");
    if (a != nullptr && a == b) {
      run.fail("two replies to " + quoteText(text) +
               " held by the host at once are one block: the host releases each once, so it "
               "would be freed twice");
    } else if (a != nullptr && aText != a) {
      run.fail("the reply to " + quoteText(text) +
               " changed before the host released it: a reply must stay as returned until then");
    }
    if (a != nullptr) {
      if (host.rawCall(script, CB_RELEASE_REPLY, const_cast<char*>(a), "release the first reply") !=
          nullptr) {
        run.fail("releasing a reply returned a non-null result");
      }
    }
    if (b != nullptr && b != a) {
      host.rawCall(script, CB_RELEASE_REPLY, const_cast<char*>(b), "release the second reply");
    }
  }
  if (!replied)
    run.skip(
        "the script answered none of the requests \"return=all\", \"myParam=abc\" and "
        "\"return=myParam\"");
}

void reentrantUpdate(CheckRun& run) {
  Script& script = run.create("s1");
  const auto indices = run.registeredIndices(script);
  if (indices.empty()) {
    run.skip("the script registered no slot or destination to update from inside a command");
    return;
  }
  const auto& target = indices.front();
  bool fired = false;
  run.host().onNextCommand([&] {
    fired = true;
    run.change(*target.first, target.second, "1", 1);
  });
  for (const auto& index : indices) {
    if (fired) break;
    run.change(*index.first, index.second, "2", 2);
  }
  if (!fired) run.host().request(script, "return=all");
  if (!fired) run.host().fireEvent(script, 1);
}

void twoScripts(CheckRun& run) {
  Script& first = run.create("s1");
  Script& second = run.create("s2");
  if (first.object == second.object) run.fail("both scripts are one object");
  for (const auto& index : run.registeredIndices(first)) {
    run.change(*index.first, index.second, "1", 1);
  }
  run.host().request(first, "return=all");
  run.host().request(second, "return=all");
  run.host().fireEvent(second, 1);
  run.host().destroy(first);
  for (const auto& index : run.registeredIndices(second)) {
    run.change(*index.first, index.second, "0", 0);
  }
}

void nullHost(CheckRun& run) {
  drez_client_callback* script = run.factory()(nullptr, run.path().c_str());
  if (script == nullptr) {
    run.skip("the script does not start without a host, which is allowed");
    return;
  }
  script->callback(reinterpret_cast<void*>(intptr_t{1}), CB_EVENT_ID);
  char text[] = "return=all";
  if (const char* reply = script->callback(text, CB_HOST_REQUEST)) {
    script->callback(const_cast<char*>(reply), CB_RELEASE_REPLY);
  }
  script->callback(nullptr, CB_NOTIFY6);
  drez_delete_script(script);
  run.exercised("a script without a host: created, an event id, a request, a notify, deleted",
                true);
}

void pathTexts(CheckRun& run) {
  for (const std::string& path : {std::string("panels/studio"),
                                  std::string("a path/with spaces/it's"), std::string(4096, 'p')}) {
    Script& script = run.create("s1", path);
    run.host().destroy(script);
  }
}

const std::vector<Check>& checks() {
  static const std::vector<Check> all = {
      {"startup-reentrant", "start-up and teardown, polls answered from inside the poll",
       [](CheckRun& run) { startupTeardown(run, PollDelivery::Reentrant); }},
      {"startup-queued", "start-up and teardown, polls answered after the call returns",
       [](CheckRun& run) { startupTeardown(run, PollDelivery::Queued); }},
      {"startup-no-polls", "start-up and teardown, polls never answered",
       [](CheckRun& run) { startupTeardown(run, PollDelivery::Off); }},
      {"odd-kinds", "callback kinds outside 1 to 7 do nothing and return null", oddKinds},
      {"null-data",
       "null request text and reply, odd notify values and event ids, a control "
       "event with null fields",
       nullAndOddData},
      {"request-texts", "requests empty, very long, with many parts or bytes that are not UTF-8",
       requestTexts},
      {"control-events",
       "every control of the installation's panel files (and those the script addresses), "
       "pressed and sent values short, empty, long and odd; AckAll, ActionAll; ids no panel has",
       controlEvents},
      {"event-ids", "event ids 0 to 1000 and the extremes", eventIds},
      {"panel-requests",
       "what the script lists in its \"_events\" and \"_commands\" answers, as requests with "
       "short, empty, long and odd values",
       panelRequests},
      {"device-updates", "updates of every registered slot and destination with odd texts",
       deviceUpdates},
      {"replies-once", "each reply to a request is its own block, unchanged until released once",
       repliesOnce},
      {"reentrant-update", "an update delivered from inside a command the script sends",
       reentrantUpdate},
      {"two-scripts", "two scripts of the library side by side", twoScripts},
      {"null-host", "a script created without a host sends nothing and survives its events",
       nullHost},
      {"path-texts", "scripts created with long and odd path texts", pathTexts},
  };
  return all;
}

}  // namespace

void listChecks(std::ostream& out) {
  for (const Check& check : checks()) {
    out << std::left << std::setw(20) << check.name << check.description << "\n";
  }
}

namespace {

const Check* findCheck(const std::string& name) {
  for (const Check& check : checks()) {
    if (name == check.name) return &check;
  }
  return nullptr;
}

}  // namespace

Verdict runTask(const tasks::Check& task, const TaskSettings& settings, ChildLink& link) {
  const Check* check = findCheck(task.name);
  if (check == nullptr) return Verdict::BadInput;
  link.setStep("check " + std::string(check->name));
  std::unique_ptr<LoadedLibrary> library = LoadedLibrary::open(settings.library, link);
  if (!library) return Verdict::BadInput;
  RunSummary summary;
  {
    CheckRun run(library->factory(), settings, task, link);
    std::vector<std::string> messages;
    try {
      check->run(run);
    } catch (const CheckRun::Failed&) {
    } catch (const std::exception& error) {
      run.fail(std::string("the check could not run: ") + error.what());
    }
    summary.verdict = run.finish(&messages);
    if (summary.verdict == Verdict::Skipped) messages.push_back(run.skipped());
    summary.messages = messages;
    link.send(messages::Reached{run.reached()});
  }
  link.setSummary(summary);
  return summary.verdict;
}

namespace {

// One check's line, and the lines under it: what it reached, what went
// wrong, or the crash report.
void printCheck(const std::string& name, const Result& result, const std::string& reached) {
  std::cout << std::left << std::setw(7) << namesOf(result.verdict()).tag << std::setw(20) << name;
  if (result.verdict() == Verdict::Passed) {
    std::cout << reached << "\n";
  } else if (const std::vector<std::string> report = crashReport(result.ending); !report.empty()) {
    for (const std::string& line : report) std::cout << line << "\n";
  } else {
    const std::vector<std::string> lines = details(result.ending);
    std::cout << (lines.empty() ? std::string("failed") : lines.front()) << "\n";
    for (std::size_t i = 1; i < lines.size() && i < 5; ++i) {
      std::cout << std::string(27, ' ') << lines[i] << "\n";
    }
  }
  std::cout.flush();
}

}  // namespace

ExitStatus validateJob(const CommonOptions& common, const ValidateOptions& options) {
  if (options.listChecks) {
    listChecks(std::cout);
    return ExitStatus::Passed;
  }
  std::vector<const Check*> chosen;
  for (const std::string& name : options.only) {
    const Check* check = findCheck(name);
    if (check == nullptr) {
      return badInput("no check named '" + name + "' (drez-host validate --list-checks)");
    }
    chosen.push_back(check);
  }
  if (chosen.empty()) {
    for (const Check& check : checks()) chosen.push_back(&check);
  }
  Settling learning;
  learning.learn = true;
  learning.path = options.path;
  ExitStatus failed = ExitStatus::Passed;
  const std::optional<TaskSettings> settings = settleJob(common, learning, &failed);
  if (!settings) return failed;
  if (options.printInstallation) return printInstallation(*settings);
  std::vector<Result> results;
  for (const Check* check : chosen) {
    std::string reached;
    ParentHooks hooks;
    hooks.message = [&reached](const ChildMessage& message) {
      if (const auto* what = std::get_if<messages::Reached>(&message)) reached = what->what;
    };
    const Outcome outcome =
        runIsolated(TaskOrder{*settings, tasks::Check{check->name, options.path,
                                                      common.installation.empty(), options.trace}},
                    common.isolation, check->name, hooks);
    const Result result = resultOf(check->name, outcome);
    if (result.verdict() != Verdict::Passed || !options.onlyFailed) {
      printCheck(check->name, result, reached);
    }
    results.push_back(result);
    if (options.failFast && result.status() != ExitStatus::Passed) break;
  }
  printTotals(std::cout, results, "checks");
  RunJobOptions run;
  for (const std::string& scenario : options.scenarios) {
    if (options.failFast && overallStatus(results) != ExitStatus::Passed) break;
    results.push_back(runScenario(scenarioTask(scenario, common, run), *settings, common.isolation,
                                  options.onlyFailed));
  }
  if (!options.scenarios.empty()) printTotals(std::cout, results, "checks and scenarios");
  return finishJob(options.reports, "validate", results);
}

}  // namespace drezhost
