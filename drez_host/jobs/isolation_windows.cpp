// Isolation on Windows: not yet; the work runs in drez-host's own process.

#include "jobs/isolation_parts.h"

namespace drezhost {

const char kChildArgument[] = "--drez-child";

bool isChildProcess(int, char**) { return false; }

void runChildProcess(int, char**, const std::vector<const ChildTask*>&, const JobOptions&) {}

Outcome runIsolated(const ChildTask& task, const JobOptions& options, const std::string& payload,
                    const ParentHooks& hooks) {
  std::unique_ptr<DebugCapture> capture = DebugCapture::start(false);
  return runHere(task, options, payload, hooks, capture.get());
}

}  // namespace drezhost
