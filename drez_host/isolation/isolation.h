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
// A task's own conversation with the parent (the lines of an interactive
// run, the requests of a served page) goes through ChildLink::ask.
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
#include <ostream>
#include <string>
#include <vector>

#include "isolation/debug_capture.h"
#include "isolation/job_options.h"
#include "runner/output.h"
#include "runner/run_summary.h"
#include "runner/verdict.h"
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

  // The step being run, as "<file>:<line>: <step>".
  void setStep(const std::string& step);
  // The result of the work, for the parent's reports.
  void setSummary(const RunSummary& summary);
  // Shows a line: the parent prints it (or serve's page shows it).
  void show(const OutputLine& line);
  // A sink that shows each line.
  OutputSink output();
  // Sends a message the task's job reads (ParentHooks::message).
  void send(const std::string& message);
  // Asks the parent (ParentHooks::answer) and waits for the answer; nothing
  // when the parent has none (the end of the input, serve stopping).
  std::optional<std::string> ask(const std::string& question);
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

// What a child process runs: one row of the table of tasks. A child forked
// from the parent calls `run` at once; a child started as a new process
// (Windows) finds its row by `name` (runChildProcess).
struct ChildTask {
  const char* name;
  // In the child: runs the work with `payload` as the parent gave it and
  // returns its verdict. Everything it shows goes through `link`.
  Verdict (*run)(const JobOptions& options, const std::string& payload, ChildLink& link);
};

// What the parent does with what the child sends.
struct ParentHooks {
  // Each line the child shows; none: standard output, as a terminal shows it.
  OutputSink show;
  // Each message of ChildLink::send.
  std::function<void(const std::string& message)> message;
  // The answer to each ChildLink::ask; nothing ends the child's input.
  std::function<std::optional<std::string>(const std::string& question)> answer;
  // Asked about ten times a second while the child works: true ends it at
  // once (drez-host is told to stop). The outcome is then Stopped.
  std::function<bool()> stopRequested;
};

struct Outcome {
  enum class Kind { Finished, Crashed, TimedOut, Stopped };
  Kind kind = Kind::Finished;
  // The work's own verdict when Finished; Crashed or Hung otherwise.
  Verdict verdict = Verdict::Passed;
  std::string why;   // Crashed: the signal, exception or exit; TimedOut: the budget
  std::string step;  // the step being run, if any
  std::string call;  // the call into the script in progress, if any
  std::vector<std::string> lastCommands;  // oldest first
  RunSummary summary;                     // as the work set it
  double seconds = 0;
};

// Thrown in a child process once its work is done, with its exit code:
// main() catches it and returns the code, so that the child ends like a
// program that returns from main, every object destroyed (memory checkers
// then find nothing left). Nothing between runIsolated() and main() may
// catch it.
struct ChildExit {
  int code = 0;
};

// Runs `task` with `payload` in a child process when `options.isolate`,
// otherwise here. Returns what came of it. In a forked child, throws
// ChildExit when the task returns.
Outcome runIsolated(const ChildTask& task, const JobOptions& options, const std::string& payload,
                    const ParentHooks& hooks = ParentHooks());

// The report of a crash or a time-out, several lines.
void printOutcome(std::ostream& out, const Outcome& outcome);

// Where a new child process starts (Windows: drez-host.exe started again
// with the hidden first argument kChildArgument). True when `argv` is such a
// child's; it then runs the task named there from `tasks` with `options`
// (read from the rest of `argv` by the caller) and throws ChildExit.
extern const char kChildArgument[];
bool isChildProcess(int argc, char** argv);
void runChildProcess(int argc, char** argv, const std::vector<const ChildTask*>& tasks,
                     const JobOptions& options);

}  // namespace drezhost

#endif  // DREZ_HOST_ISOLATION_ISOLATION_H_
