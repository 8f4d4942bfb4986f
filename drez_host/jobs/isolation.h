// Runs a piece of work (a scenario, a validate check, a monkey run) in a
// child process with a watchdog, so that a panel script that crashes, aborts,
// overflows its stack or hangs becomes a reported failure instead of taking
// drez-host down with an empty log.
//
// The child shares one small block of memory with the parent, where it keeps
// the step it runs, the call it is in and the last commands the script sent.
// The parent waits for the child; when a call into the script has not
// returned within the time budget it kills the child. Either way it reads the
// block and reports what the child was doing. The child writes to the same
// standard output as the parent, flushed line by line, so everything printed
// before a crash is there.
//
// On Windows there is no fork(): the work runs in drez-host's own process,
// with no watchdog (drez_host/README.md says so).

#ifndef DREZ_HOST_JOBS_ISOLATION_H_
#define DREZ_HOST_JOBS_ISOLATION_H_

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "runner/run_summary.h"
#include "runner/verdict.h"
#include "simulator/host_observer.h"

namespace drezhost {

struct IsolationOptions {
  bool isolate = true;           // run in a child process where the platform can
  double callBudgetSeconds = 5;  // how long one call into a script may take
};

struct SharedStatus;

// The child's side: what it tells the parent as it works.
class ChildLink : public HostObserver {
 public:
  explicit ChildLink(SharedStatus& status) : status_(status) {}

  // The step being run, as "<file>:<line>: <step>".
  void setStep(const std::string& step);
  // The result of the work, for the parent's reports.
  void setSummary(const RunSummary& summary);

  void enteringCall(const HostCall& call, const std::string& context) override;
  void leftCall() override;
  void commandSent(const std::string& text) override;
  void updateDelivered(const Device&, int32_t) override {}
  void controlEventSent(const std::string&) override {}
  void triggerFired(const std::string&) override {}

 private:
  SharedStatus& status_;
};

struct Outcome {
  enum class Kind { Finished, Crashed, TimedOut };
  Kind kind = Kind::Finished;
  // The work's own verdict when Finished; Crashed or Hung otherwise.
  Verdict verdict = Verdict::Passed;
  std::string why;                        // Crashed: the signal or exit; TimedOut: the budget
  std::string step;                       // the step being run, if any
  std::string call;                       // the call into the script in progress, if any
  std::vector<std::string> lastCommands;  // oldest first
  RunSummary summary;                     // as the work set it (Finished only)
  double seconds = 0;
};

// Thrown in the child process once its work is done, with its exit code:
// main() catches it and returns the code, so that the child ends
// like a program that returns from main, every object destroyed (memory
// checkers then find nothing left). Nothing between runIsolated() and
// main() may catch it.
struct ChildExit {
  int code = 0;
};

// True where work can run in a child process (POSIX).
bool isolationAvailable();

// Runs `work`, which returns its verdict, in a child process when
// `options.isolate` and the platform allow, otherwise here. In the child,
// throws ChildExit when `work` returns.
Outcome runIsolated(const std::function<Verdict(ChildLink&)>& work,
                    const IsolationOptions& options);

// The report of a crash or a time-out, several lines.
void printOutcome(std::ostream& out, const Outcome& outcome);

}  // namespace drezhost

#endif  // DREZ_HOST_JOBS_ISOLATION_H_
