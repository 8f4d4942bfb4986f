// What a scenario, a check or a job came to, the words for it, and the exit
// status of drez-host: the one place where verdicts are named.

#ifndef DREZ_HOST_RUNNER_VERDICT_H_
#define DREZ_HOST_RUNNER_VERDICT_H_

namespace drezhost {

enum class Verdict {
  Passed,    // every expectation held and the script kept the host contract
  Skipped,   // a check that found nothing of the script's to exercise
  Failed,    // an expectation failed or the script broke the contract
  BadInput,  // the run could not go on as written: it stopped
  Crashed,   // the script's process died: a signal, abort, an exit mid-run
  Hung,      // a call into the script did not return in time
};

// drez-host's exit status; with several runs, the worst of theirs.
enum class ExitStatus : int {
  Passed = 0,
  Failed = 1,
  BadInput = 2,
  Crashed = 3,  // crashed or hung
};

struct VerdictNames {
  const char* word;     // in reports and summaries: "passed", "bad input"
  const char* heading;  // after "==== ": "PASSED", "STOPPED"
  const char* tag;      // in front of a check's line: "PASS", "FAIL"
};

const VerdictNames& namesOf(Verdict verdict);
ExitStatus exitStatusOf(Verdict verdict);
// The status as the process's exit code.
inline int exitCode(ExitStatus status) { return static_cast<int>(status); }
// The worse of two statuses.
inline ExitStatus worse(ExitStatus a, ExitStatus b) { return exitCode(a) >= exitCode(b) ? a : b; }

}  // namespace drezhost

#endif  // DREZ_HOST_RUNNER_VERDICT_H_
