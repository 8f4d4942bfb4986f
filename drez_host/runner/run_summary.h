// What a finished run, check or job came to, in numbers and messages: what
// the runner reports and isolation carries from a child process.

#ifndef DREZ_HOST_RUNNER_RUN_SUMMARY_H_
#define DREZ_HOST_RUNNER_RUN_SUMMARY_H_

#include <cstddef>
#include <string>
#include <vector>

#include "runner/verdict.h"

namespace drezhost {

// What a finished run came to.
struct RunSummary {
  Verdict verdict = Verdict::Passed;
  int actions = 0;
  int expectations = 0;
  std::size_t notMet = 0;
  std::size_t errors = 0;  // unexpected validation errors
  std::size_t warnings = 0;
  std::size_t debugLines = 0;  // lines the scripts wrote on their debug channel
  // What went wrong, one line each, at most ScenarioRunner::kSummaryMessages of them.
  std::vector<std::string> messages;
};

}  // namespace drezhost

#endif  // DREZ_HOST_RUNNER_RUN_SUMMARY_H_
