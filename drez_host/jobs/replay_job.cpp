#include "jobs/replay_job.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <system_error>
#include <variant>

#include "capture_reader.h"
#include "console/terminal.h"
#include "isolation/child_run.h"
#include "jobs/job_setup.h"
#include "jobs/run_job.h"
#include "scenario/capture_scenario.h"
#include "simulator/recorded_answers.h"
#include "simulator/reply_ledger.h"
#include "simulator/trace.h"

namespace drezhost {

namespace {

using namespace drezcapture;
// What the host's call or command returned, as the capture has it.
using Recorded = drezcapture::Result;

constexpr std::size_t kShownDifferences = 20;

std::string textOf(const Text& text) { return text ? *text : std::string(); }

// A difference found: where (the runner's key), the message, and the
// capture's line it stands at.
struct Difference {
  std::string where;
  std::string message;
  std::size_t line = 0;
};

// Plays a capture's host calls on a simulated host and answers the
// script's commands as the capture recorded them, noting every difference.
class Replayer : public RecordedAnswers {
 public:
  Replayer(const Capture& capture, const std::string& name, SimulatedHost& host,
           ScriptFactory factory)
      : capture_(capture), name_(name), host_(host), factory_(std::move(factory)) {
    for (std::size_t i = 0; i < capture.entries.size(); ++i) {
      if (const auto* end = std::get_if<EndEntry>(&capture.entries[i])) ends_[end->opening] = i;
    }
  }

  // Every outermost call the capture holds whole, in order.
  void run(ChildLink& link) {
    const std::size_t last = capture_.completeEntries;
    for (std::size_t i = 0; i < last; ++i) {
      const Entry& entry = capture_.entries[i];
      if (headOf(entry).depth != 0 || !isCall(entry)) continue;
      link.setStep(name_ + ":" + std::to_string(headOf(entry).line) + ": " + describe(i));
      perform(i);
      i = endOf(i);
    }
  }

  Answer answer(Script&, const std::string& text) override {
    Answer answer;
    if (cursors_.empty()) return answer;  // after the capture: nothing to answer with
    Cursor& cursor = cursors_.back();
    std::optional<std::size_t> at = nextAction(cursor);
    const CommandEntry* recorded = at ? std::get_if<CommandEntry>(&capture_.entries[*at]) : nullptr;
    if (recorded == nullptr || textOf(recorded->text) != text) {
      // Perhaps the script left some out: the recorded command further on.
      std::optional<std::size_t> later = find(cursor, text);
      if (!later) {
        // One command in place of another: the capture's is taken as
        // answered, so that what follows is compared with what follows.
        differ(at ? *at : cursor.end,
               "the script sent " + shownText(text) + ", the capture has " +
                   (at ? what(*at) : std::string("nothing more in this call")));
        if (at) cursor.next = *at + 1;
        return answer;
      }
      while (at && *at < *later) {
        differ(*at, "the script did not send " + what(*at));
        cursor.next = *at + 1;
        at = nextAction(cursor);
      }
      recorded = &std::get<CommandEntry>(capture_.entries[*later]);
      at = later;
    }
    cursor.next = *at + 1;
    ++compared_;
    Recorded result = recorded->result;
    if (result.kind == ResultKind::kOpen) {
      opened_ = *at;
      result = std::get<EndEntry>(capture_.entries[endOf(*at)]).result;
    }
    if (result.kind == ResultKind::kReply) answer.reply = result.text;
    if (result.kind == ResultKind::kInteger) answer.result = static_cast<intptr_t>(result.number);
    return answer;
  }

  void inside(Script&, const std::string&) override {
    if (!opened_) return;
    const std::size_t command = *opened_;
    opened_.reset();
    const int depth = headOf(capture_.entries[command]).depth + 1;
    const std::size_t close = endOf(command);
    for (std::size_t j = command + 1; j < close; ++j) {
      if (headOf(capture_.entries[j]).depth != depth || !isCall(capture_.entries[j])) continue;
      perform(j);
      j = endOf(j);
    }
  }

  void handedBack(Script&) override {
    if (cursors_.empty()) return;
    Cursor& cursor = cursors_.back();
    std::optional<std::size_t> at = nextAction(cursor);
    if (at && std::holds_alternative<HandBackEntry>(capture_.entries[*at])) {
      cursor.next = *at + 1;
      return;
    }
    differ(at ? *at : cursor.end, std::string("the script handed a reply back, the capture has ") +
                                      (at ? what(*at) : std::string("nothing more in this call")));
  }

  std::size_t calls() const { return calls_; }
  std::size_t compared() const { return compared_; }
  const std::vector<Difference>& differences() const { return differences_; }

 private:
  struct Cursor {
    int depth = 0;
    std::size_t next = 0;  // the first entry not yet looked at
    std::size_t end = 0;   // the call's end
    std::size_t call = 0;  // the call itself
  };

  static bool isCall(const Entry& entry) { return isHostCall(kindOf(entry)); }

  static bool isAction(const Entry& entry) {
    return std::holds_alternative<CommandEntry>(entry) ||
           std::holds_alternative<HandBackEntry>(entry);
  }

  std::size_t endOf(std::size_t opening) const {
    auto found = ends_.find(opening);
    return found != ends_.end() ? found->second : capture_.entries.size();
  }

  // The next of the call's own actions (its commands and hand-backs), not
  // those of calls nested in them.
  std::optional<std::size_t> nextAction(const Cursor& cursor) const {
    for (std::size_t k = cursor.next; k < cursor.end && k < capture_.entries.size(); ++k) {
      const Entry& entry = capture_.entries[k];
      if (headOf(entry).depth == cursor.depth + 1 && isAction(entry)) return k;
    }
    return std::nullopt;
  }

  // The call's next command whose text is `text`.
  std::optional<std::size_t> find(const Cursor& cursor, const std::string& text) const {
    for (std::size_t k = cursor.next; k < cursor.end && k < capture_.entries.size(); ++k) {
      const auto* command = std::get_if<CommandEntry>(&capture_.entries[k]);
      if (command != nullptr && command->head.depth == cursor.depth + 1 &&
          textOf(command->text) == text) {
        return k;
      }
    }
    return std::nullopt;
  }

  // What the entry at `index` holds, for a message.
  std::string what(std::size_t index) const {
    const Entry& entry = capture_.entries[index];
    if (const auto* command = std::get_if<CommandEntry>(&entry))
      return shownText(textOf(command->text));
    if (const auto* handBack = std::get_if<HandBackEntry>(&entry)) {
      return "the hand-back of reply " + std::to_string(handBack->reply.number);
    }
    return describe(index);
  }

  std::string describe(std::size_t index) const { return callDescription(capture_.entries[index]); }

  void differ(std::size_t index, const std::string& message) {
    const std::size_t line = index < capture_.entries.size() ? headOf(capture_.entries[index]).line
                                                             : capture_.completeLine;
    const std::string call =
        cursors_.empty() ? std::string() : " in " + describe(cursors_.back().call);
    const std::string where = name_ + ":" + std::to_string(line) + ":" + call;
    differences_.push_back(Difference{where, where + ": " + message, line});
  }

  // Makes the host call at `index` again, with everything nested in it.
  void perform(std::size_t index) {
    const Entry& entry = capture_.entries[index];
    const LineHead& head = headOf(entry);
    const std::string name = "s" + std::to_string(head.script);
    Cursor cursor;
    cursor.depth = head.depth;
    cursor.next = index + 1;
    cursor.end = endOf(index);
    cursor.call = index;
    const bool creates = std::holds_alternative<ExportEntry>(entry);
    Script* script = creates ? nullptr : host_.findScript(name);
    if (!creates && script == nullptr) {
      cursors_.push_back(cursor);
      differ(index, "there is no script " + name + " to call (its export made none)");
      cursors_.pop_back();
      return;
    }
    ++calls_;
    cursors_.push_back(cursor);
    std::visit(
        [&](const auto& call) {
          using Call = std::decay_t<decltype(call)>;
          if constexpr (std::is_same_v<Call, ExportEntry>) {
            // As recorded: with the host object, or with none.
            const ScriptFactory factory =
                call.host ? factory_ : [this](drez_client_host*, const char* path) {
                  return factory_(nullptr, path);
                };
            Script* made = host_.create(name, factory, textOf(call.path));
            // Without a host a script cannot say goodbye with "AS".
            if (made != nullptr && !call.host) made->detached = true;
            const ResultKind recorded = recordedResult(index).kind;
            if ((made != nullptr) != (recorded == ResultKind::kScript)) {
              differ(index, made != nullptr ? "the export made a script, the capture has " +
                                                  std::string(recorded == ResultKind::kException
                                                                  ? "it end by an exception"
                                                                  : "none")
                                            : "the export made no script, the capture has one");
            }
          } else if constexpr (std::is_same_v<Call, DeviceEntry>) {
            host_.deliverUpdate(*script, static_cast<int32_t>(call.device),
                                static_cast<int32_t>(call.index), static_cast<int32_t>(call.number),
                                textOf(call.text));
          } else if constexpr (std::is_same_v<Call, ControlEntry>) {
            host_.controlEvent(*script, textOf(call.id), textOf(call.command));
          } else if constexpr (std::is_same_v<Call, RequestEntry>) {
            const std::optional<std::string> reply = host_.request(*script, textOf(call.text));
            const Recorded recorded = recordedResult(index);
            const std::optional<std::string> expected =
                recorded.kind == ResultKind::kReply ? std::optional<std::string>(recorded.text)
                                                    : std::nullopt;
            // A request an exception ended on air had no reply to compare.
            if (recorded.kind != ResultKind::kException && reply != expected) {
              differ(index, "the script replied " + (reply ? quoteText(*reply) : "nothing") +
                                ", the capture has " +
                                (expected ? quoteText(*expected) : "no reply"));
            }
          } else if constexpr (std::is_same_v<Call, EventEntry>) {
            host_.fireEvent(*script, static_cast<int32_t>(call.id));
          } else if constexpr (std::is_same_v<Call, NotifyEntry>) {
            host_.notify(*script, static_cast<int>(call.kind), static_cast<intptr_t>(call.value));
          } else if constexpr (std::is_same_v<Call, CallbackEntry>) {
            host_.rawCall(*script, static_cast<int>(call.kind),
                          reinterpret_cast<void*>(static_cast<intptr_t>(call.data)),
                          "callback kind " + std::to_string(call.kind));
          } else if constexpr (std::is_same_v<Call, DeleteEntry>) {
            host_.destroy(*script);
          }
          // A release: drez-host handed the reply back when the request returned.
        },
        entry);
    // What the capture has of this call that the script did not do.
    while (std::optional<std::size_t> left = nextAction(cursors_.back())) {
      differ(*left, "the script did not send " + what(*left));
      cursors_.back().next = *left + 1;
    }
    cursors_.pop_back();
  }

  Recorded recordedResult(std::size_t call) const {
    const std::size_t end = endOf(call);
    if (end >= capture_.entries.size()) return Recorded();
    return std::get<EndEntry>(capture_.entries[end]).result;
  }

  const Capture& capture_;
  std::string name_;
  SimulatedHost& host_;
  ScriptFactory factory_;
  std::map<std::size_t, std::size_t> ends_;
  std::vector<Cursor> cursors_;
  std::optional<std::size_t> opened_;  // the open command answered last
  std::size_t calls_ = 0;
  std::size_t compared_ = 0;
  std::vector<Difference> differences_;
};

// --write-scenario: the capture as a scenario in `file`.
ExitStatus writeScenarioJob(const ReplayOptions& options) {
  namespace fs = std::filesystem;
  std::error_code code;
  if (fs::equivalent(options.capture, options.writeScenario, code)) {
    return badInput("--write-scenario " + options.writeScenario +
                    " is the capture it reads; write the scenario to another file");
  }
  const fs::file_status target = fs::status(options.writeScenario, code);
  if (fs::exists(target) && !fs::is_regular_file(target)) {
    return badInput("--write-scenario " + options.writeScenario +
                    " is not a regular file (a directory, a FIFO or a device)");
  }
  Capture capture;
  try {
    capture = readCaptureFile(options.capture);
  } catch (const CaptureError& error) {
    return badInput(error.what());
  }
  for (const std::string& note : capture.notes) std::cout << "drez-host: note: " << note << "\n";
  std::ofstream file(options.writeScenario, std::ios::binary);
  file << scenarioOf(capture, options.capture);
  file.close();
  if (!file) return badInput("cannot write the scenario file '" + options.writeScenario + "'");
  std::cout << "drez-host: wrote " << options.writeScenario << " from " << options.capture << " ("
            << capture.describe() << ")\n";
  return ExitStatus::Passed;
}

}  // namespace

Verdict runTask(const tasks::Replay& replay, const TaskSettings& settings, ChildLink& link) {
  Capture capture;
  try {
    capture = readCaptureFile(replay.capture);
  } catch (const CaptureError& error) {
    link.show(OutputLine{LineKind::Diagnostic, std::string("drez-host: ") + error.what(), false});
    return Verdict::BadInput;
  }
  for (const std::string& note : capture.notes) {
    link.show(OutputLine{LineKind::Note, "drez-host: note: " + note, false});
  }
  std::unique_ptr<LoadedLibrary> library = LoadedLibrary::open(settings.library, link);
  if (!library) return Verdict::BadInput;
  RunSummary summary;
  {
    RunOptions run = runOptionsFor(settings, replay.quiet);
    run.showTrace = !replay.quiet;
    // The capture's devices by name in the trace.
    run.installation = std::make_shared<const Installation>(installationOf(capture));
    ScenarioRunner runner(library->factory(), link.output(), run);
    wire(runner, settings, link);
    Replayer replayer(capture, replay.capture, runner.host(), library->factory());
    runner.host().setRecordedAnswers(&replayer);
    replayer.run(link);
    link.show(OutputLine{LineKind::Heading,
                         "==== replay of " + replay.capture + " (" + capture.describe() +
                             "): " + std::to_string(replayer.calls()) + " host calls, " +
                             std::to_string(replayer.compared()) + " commands as recorded, " +
                             std::to_string(replayer.differences().size()) + " differences",
                         true});
    std::size_t shown = 0;
    for (const Difference& difference : replayer.differences()) {
      runner.addFailure(difference.where, difference.message);
      link.send(messages::ReplayDifference{difference.line, difference.message});
      if (++shown <= kShownDifferences) {
        link.show(OutputLine{LineKind::Failure, difference.message, false});
      }
    }
    if (shown > kShownDifferences) {
      link.show(OutputLine{
          LineKind::Failure,
          "... and " + std::to_string(shown - kShownDifferences) + " more differences", false});
    }
    // Past the capture, drez-host answers nothing: a cut capture's scripts
    // are deleted as a host does.
    runner.host().setRecordedAnswers(nullptr);
    runner.finish();
    summary = runner.summary();
  }
  link.setSummary(summary);
  return summary.verdict;
}

std::string captureLibrary(const std::string& path) {
  try {
    const Capture capture = readCaptureFile(path);
    for (const Entry& entry : capture.entries) {
      const auto* begin = std::get_if<BeginEntry>(&entry);
      if (begin == nullptr || !begin->library) continue;
      std::error_code ignored;
      // As it was named, or beside the capture.
      for (const std::filesystem::path& candidate :
           {std::filesystem::path(*begin->library),
            std::filesystem::path(path).parent_path() /
                std::filesystem::path(*begin->library).filename()}) {
        if (std::filesystem::is_regular_file(candidate, ignored)) return candidate.string();
      }
    }
  } catch (const CaptureError&) {
  }
  return std::string();
}

std::string captureProblem(const drezcapture::Capture& read, const std::string& capture) {
  if (read.hostCalls() == 0) {
    return capture + ":" + std::to_string(read.completeLine) +
           ": not a capture to replay: it holds no call of the host (" + read.describe() + ")";
  }
  return std::string();
}

std::string captureProblem(const std::string& capture) {
  try {
    return captureProblem(readCaptureFile(capture), capture);
  } catch (const CaptureError& error) {
    return error.what();
  }
}

ExitStatus replayJob(const CommonOptions& common, const ReplayOptions& options) {
  const std::string why = captureProblem(options.capture);
  if (!why.empty()) return badInput(why);
  if (!options.writeScenario.empty()) return writeScenarioJob(options);
  // A replay plays the library the capture names, unless told another.
  Settling captured;
  captured.library = captureLibrary(options.capture);
  ExitStatus failed = ExitStatus::Passed;
  const std::optional<TaskSettings> settings = settleJob(common, captured, &failed);
  if (!settings) return failed;
  const Outcome outcome =
      runIsolated(TaskOrder{*settings, tasks::Replay{options.capture, common.quiet}},
                  common.isolation, options.capture);
  const drezhost::Result result = resultOf(options.capture, outcome);
  if (!outcome.finished()) {
    printCrashReport(std::cout, result.ending);
    std::cout << "\n==== " << namesOf(result.verdict()).heading << ": " << options.capture << "\n"
              << std::flush;
  }
  return finishJob(options.reports, "replay", {result});
}

}  // namespace drezhost
