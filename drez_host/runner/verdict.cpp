#include "runner/verdict.h"

namespace drezhost {

namespace {

struct Row {
  Verdict verdict;
  ExitStatus status;
  VerdictNames names;
};

const Row kVerdicts[] = {
    {Verdict::Passed, ExitStatus::Passed, {"passed", "PASSED", "PASS"}},
    {Verdict::Skipped, ExitStatus::Passed, {"skipped", "SKIPPED", "SKIP"}},
    {Verdict::Failed, ExitStatus::Failed, {"failed", "FAILED", "FAIL"}},
    {Verdict::BadInput, ExitStatus::BadInput, {"bad input", "STOPPED", "STOP"}},
    {Verdict::Crashed, ExitStatus::Crashed, {"crashed", "CRASHED", "CRASH"}},
    {Verdict::Hung, ExitStatus::Crashed, {"hung", "HUNG", "HUNG"}},
};

const Row& rowOf(Verdict verdict) {
  for (const Row& row : kVerdicts) {
    if (row.verdict == verdict) return row;
  }
  return kVerdicts[2];
}

}  // namespace

const VerdictNames& namesOf(Verdict verdict) { return rowOf(verdict).names; }

ExitStatus exitStatusOf(Verdict verdict) { return rowOf(verdict).status; }

}  // namespace drezhost
