// The panel fuzzer as a person runs it: the process that starts libFuzzer
// in a child (the same program, told so by its environment) and, once it
// has ended, turns each finding it kept into a scenario that drez-host
// plays.
//
//   <fuzzer> [libFuzzer's flags] [CORPUS_DIR...]
//       Fuzzes as libFuzzer does, with -timeout=5 (drez-host's own timeout
//       for a call; libFuzzer's is 20 minutes) unless a -timeout is given.
//       The corpus directories are read as given and then <fuzzer>_seeds,
//       the panel's scenarios as inputs; with none given, <fuzzer>_corpus
//       takes what the fuzzer learns. For each input libFuzzer keeps as a
//       finding (crash-, leak-, timeout-, oom-, in -artifact_prefix or the
//       working directory) it writes <input>.scn beside it.
//   <fuzzer> [libFuzzer's flags] FILE...
//       Runs the inputs once each, as libFuzzer does.
//   <fuzzer> --scenario FILE...
//       Writes FILE.scn for each input FILE that fails.
//
// A scenario is minimised first: moves are dropped (halves, then quarters,
// down to single moves, at most kReplays runs) while the input still fails
// the same way, then it is written by a run of what is left. Its comment
// lines say what was found and how drez-host plays it. Exits with the
// status of libFuzzer's run.
//
// Threading: one thread; each run is a child process.

#ifndef FUZZ_PANEL_FUZZ_SUPERVISOR_H_
#define FUZZ_PANEL_FUZZ_SUPERVISOR_H_

#include <string>

#include "fuzzer_settings.h"

namespace drezfuzz {

// The environment variable that makes the program libFuzzer's child, and
// those the supervisor passes it: where to write the seeds, and, for the
// one input it runs, where to write its scenario and its finding's record
// (fuzz_run.h).
extern const char kChildVariable[];
extern const char kSeedsVariable[];
extern const char kScenarioVariable[];
extern const char kFindingVariable[];

// How many runs the minimising may make, and for how long.
constexpr int kReplays = 100;
constexpr int kMinimiseSeconds = 60;

int supervise(const FuzzerSettings& settings, int argc, char** argv);

// How a run of one input ended: the kind of finding ("a reply kept",
// "AddressSanitizer: stack-buffer-overflow", "a leak", "a call that hangs",
// ...; empty when it passed) and what says it. A finding of the host comes
// as the record the child wrote; the sanitizers' and libFuzzer's are read
// from the child's output, their reports being all they give.
struct Outcome {
  std::string kind;
  std::string summary;
};
Outcome outcomeOf(const std::string& record, const std::string& output, int status);

}  // namespace drezfuzz

#endif  // FUZZ_PANEL_FUZZ_SUPERVISOR_H_
