// Runs a piece of work (a scenario, a validate check, a monkey run, a served
// studio) in a child process with a watchdog, so that a panel script that
// crashes, aborts, overflows its stack, exits or hangs becomes a reported
// failure instead of taking drez-host down or leaving an empty log.
//
// The panel library is loaded only in the child: drez-host's own process
// never runs a line of the script, not its loading or unloading code, so the
// script cannot change drez-host's signal settings, its output or its exit
// status. The parent decides the verdict and writes all output.
//
// The child keeps, in memory it shares with the parent, the step it runs,
// the call into the script in progress and the last commands the script
// sent. It sends everything it shows to the parent as typed lines through a
// pipe; the parent prints them. The parent watches the child through its
// process (waitpid on POSIX, the process handle on Windows), not through the
// pipe, which the script may close: when one outermost call of the host
// (the export, one delivery with everything nested in it, a deletion,
// loading or unloading the library) has not returned within the time
// budget, it ends the child. Every process the script starts lives in the
// child's process group (a job object on Windows) and ends with it.
//
// What a child is told to do is a TaskOrder (isolation/task.h); what it
// tells its parent is a ChildMessage (isolation/child_messages.h), each
// carried by the one codec (isolation/codec.h). A task's own conversation
// with the parent (the lines of an interactive run, the requests of a
// served page) goes through ChildLink::ask. What came of the task is an
// Outcome, typed (isolation/task_result.h).
//
// The jobs see this interface only; isolation_posix.cpp and
// isolation_windows.cpp implement it. Not isolated (--no-isolate), the work
// runs in drez-host's own process: no watchdog, no crash report.
//
// Threading: the parent calls runIsolated from one thread; the hooks are
// called on that thread. The child's side runs on the host's thread.

#ifndef DREZ_HOST_ISOLATION_ISOLATION_H_
#define DREZ_HOST_ISOLATION_ISOLATION_H_

#include <functional>
#include <optional>
#include <string>

#include "isolation/child_messages.h"
#include "isolation/common_options.h"
#include "isolation/debug_capture.h"
#include "isolation/task.h"
#include "isolation/task_result.h"
#include "runner/output.h"
#include "runner/run_summary.h"
#include "runner/verdict.h"
#include "scenario/steps.h"
#include "simulator/host_observer.h"

namespace drezhost {

struct SharedStatus;
class ChildTransport;

// The child's side: what it tells the parent as it works. It observes the
// simulated host to keep the call in progress and the last commands.
class ChildLink : public HostObserver {
 public:
  // `debug` (may be null) captures the script's debug lines.
  ChildLink(SharedStatus& status, ChildTransport& transport, DebugCapture* debug);

  // The step being run, as "<file>:<line>: <step>", safe to show.
  void setStep(const std::string& step);
  // The same for a step of a scenario: its line is copied as written (no
  // allocation), and made safe to show only when a report reads it.
  void setStep(const Step& step);
  // What the work came to, for the parent's reports. It crosses in the
  // shared memory: a script that closes the pipe cannot lose it.
  void setSummary(const RunSummary& summary);
  // Shows a line: the parent prints it (or serve's page shows it).
  void show(const OutputLine& line);
  // A sink that shows each line.
  OutputSink output();
  // Sends a message the task's job reads (ParentHooks::message): a monkey
  // event, what a job reached, the installation learned.
  void send(const ChildMessage& message);
  // Asks the parent (ParentHooks::answer) with a question (a LineQuestion,
  // a studio answer) and waits for the answer; nothing when the parent has
  // none (the end of the input, serve stopping) or cannot be reached.
  std::optional<std::string> ask(const ChildMessage& question);
  // A call into the script that the host does not make: loading or
  // unloading the panel library. Timed like an outermost call.
  void beginCall(const std::string& what);
  void endCall();
  // Where the script's debug lines are captured (may be null).
  DebugChannel* debugChannel() const { return debug_; }

  void enteringCall(const HostCall& call, const std::string& context) override;
  void leftCall() override;
  void commandSent(const std::string& text) override;
  void updateDelivered(const Device&, int32_t) override {}
  void controlEventSent(const std::string&) override {}
  void triggerFired(const std::string&) override {}
  void outermostCallBegan(const std::string& context) override;
  void outermostCallEnded() override;

 private:
  SharedStatus& status_;
  ChildTransport& transport_;
  DebugCapture* debug_;
};

// What a child does with the order it is given: runs the task and returns
// its verdict, everything it shows going through `link`. The program
// installs it once, before the first child starts (a forked child and a
// child started as a new process run the same); the rooms of the jobs
// provide the work of each task.
using TaskWork = Verdict (*)(const TaskOrder& order, ChildLink& link);
void setTaskWork(TaskWork work);

// What the parent does with what the child sends.
struct ParentHooks {
  // Each line the child shows; none: standard output, as a terminal shows it.
  OutputSink show;
  // Each message of ChildLink::send.
  std::function<void(const ChildMessage& message)> message;
  // The answer to each ChildLink::ask; nothing ends the child's input.
  std::function<std::optional<std::string>(const ChildMessage& question)> answer;
  // Asked about ten times a second while the child works: true ends it at
  // once (drez-host is told to stop). The outcome is then hung, stopped.
  std::function<bool()> stopRequested;
};

// What came of a task.
struct Outcome {
  Ending ending = endings::Passed{};
  RunSummary summary;  // as the work set it (its counts, even when it crashed after)
  double seconds = 0;

  Verdict verdict() const { return verdictOf(ending); }
  // The task ended its work itself: it neither crashed nor hung.
  bool finished() const {
    return !std::holds_alternative<endings::Crashed>(ending) &&
           !std::holds_alternative<endings::Hung>(ending);
  }
};

// Thrown in a child process once its work is done, with its exit code:
// main() catches it and returns the code, so that the child ends like a
// program that returns from main, every object destroyed (memory checkers
// then find nothing left). Nothing between runIsolated() and main() may
// catch it.
struct ChildExit {
  int code = 0;
};

// Runs `order` in a child process when `isolation.isolate`, otherwise here.
// Returns what came of it, `where` naming its input for bad input. In a
// forked child, throws ChildExit when the task returns.
Outcome runIsolated(const TaskOrder& order, const Isolation& isolation, const std::string& where,
                    const ParentHooks& hooks = ParentHooks());

// Where a new child process starts (Windows: drez-host.exe started again
// with the hidden first argument kChildArgument). True when `argv` is such a
// child's; runChildProcess then reads its order from what the parent gave it,
// runs it with the installed TaskWork and throws ChildExit.
extern const char kChildArgument[];
bool isChildProcess(int argc, char** argv);
[[noreturn]] void runChildProcess(int argc, char** argv);

}  // namespace drezhost

#endif  // DREZ_HOST_ISOLATION_ISOLATION_H_
