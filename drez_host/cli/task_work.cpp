#include "cli/task_work.h"

#include <variant>

#include "jobs/job_setup.h"
#include "jobs/monkey.h"
#include "jobs/replay_job.h"
#include "jobs/run_job.h"
#include "jobs/validate_checks.h"

#if defined(DREZ_HOST_SERVE)
#include "serve/studio_task.h"
#else
#include "console/terminal.h"
#endif

namespace drezhost {

#if !defined(DREZ_HOST_SERVE)
// A build without serve has no studio to run; no parent of this build asks
// for one.
Verdict runTask(const tasks::Studio&, const TaskSettings&, ChildLink& link) {
  link.show(OutputLine{LineKind::Diagnostic,
                       "drez-host: serve is a feature of the native build: this drez-host was "
                       "built without it",
                       false});
  return Verdict::BadInput;
}
#endif

Verdict performTaskOf(const TaskOrder& order, ChildLink& link) {
  // A task without its runTask does not compile.
  return std::visit([&](const auto& task) { return runTask(task, order.settings, link); },
                    order.task);
}

}  // namespace drezhost
