// One input of a panel's fuzzer, played: the program (fuzz_input.h) made
// into host calls into a freshly created script, through the simulated host
// in a copy of the setup's studio, exactly as drez-host runs the scenario
// the same steps make. The script is created first and deleted last, with
// the host's teardown checks.
//
// Before the script is created, every control a move names that the panel
// file lacks is added to the file, as the scenario's installation then says
// (a control event comes only from a control of a loaded panel). A move that
// cannot be made where it stands is left out: a control of a panel not
// loaded then, a change from inside a command when the script has sent none
// lately, a command text no scenario line can hold. Play stops at the first
// error the host reports (the script is then deleted).
//
// With a scenario file, every step is written to it before it runs, and
// flushed, so that a crash or a hang leaves the scenario up to the step that
// caused it: "installation empty" and the studio, "host polls queued" where
// the program says so, "create", the moves, "delete". A change made from
// inside a command that never came is taken out again when play ends.
//
// Threading: one thread, the host's.

#ifndef FUZZ_PANEL_FUZZ_RUN_H_
#define FUZZ_PANEL_FUZZ_RUN_H_

#include <optional>
#include <string>

#include "fuzz_input.h"
#include "fuzz_setup.h"
#include "simulator/trace.h"

namespace drezfuzz {

// What the host reported: the kind of breach ("a reply kept", "a
// registration left open", "an exception the framework caught", ...) and
// the host's message.
struct Finding {
  std::string kind;
  std::string message;
};

// A finding as the record a fuzzer writes for its supervisor before it
// aborts: its kind and its message, one line each; and that record read
// back (nothing for one that is not such a record).
std::string findingRecord(const Finding& finding);
std::optional<Finding> readFindingRecord(const std::string& record);

// Plays `program`. `scenarioFile` empty: no scenario is written. `trace`
// (may be null) gets every line of the host's trace. Returns the first error
// the host reported, if any. Throws std::runtime_error when the scenario
// file cannot be written.
std::optional<Finding> play(FuzzSetup& setup, const Program& program,
                            const std::string& scenarioFile, drezhost::Trace::Sink trace = nullptr);

// The kind of breach a host's error message tells of.
std::string breachOf(const std::string& message);

}  // namespace drezfuzz

#endif  // FUZZ_PANEL_FUZZ_RUN_H_
