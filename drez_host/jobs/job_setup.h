// What the jobs do before their runs, in drez-host's own process: check a
// scenario file, settle the panel library (and find out from a child whether
// it loads) and the installation the runs start from.

#ifndef DREZ_HOST_JOBS_JOB_SETUP_H_
#define DREZ_HOST_JOBS_JOB_SETUP_H_

#include <optional>
#include <string>

#include "isolation/child_run.h"
#include "isolation/common_options.h"
#include "isolation/isolation.h"
#include "isolation/task.h"
#include "runner/verdict.h"
#include "scenario/scenario_files.h"

namespace drezhost {

// In the child: loads the library and unloads it again; with `learn`,
// learns the installation its script reaches at start-up and teardown and
// sends it back (messages::LearnedInstallation).
Verdict runTask(const tasks::LibraryProbe& probe, const TaskSettings& settings, ChildLink& link);

// The installation steps that --installation names ("studio-a", or a file
// with the files it includes in their place, read and checked), in `*steps` (empty when none is
// named). Bad input otherwise, said on standard error.
ExitStatus installationSteps(const std::string& option, std::string* steps);

// How a job settles its runs.
struct Settling {
  // When --installation names none: learn it from the script (validate,
  // monkey) rather than start from Studio A.
  bool learn = false;
  std::string path;  // the export's path argument when learning
  // The panel library when --script names none, before the usual rule
  // (replay: the one the capture names); empty: the usual rule.
  std::string library;
};

// Settles the job's library (jobs/panel_library.h) and says which it is on
// standard error ("drez-host: panel library PATH"), loads it once in a
// child, and settles the installation: the one --installation names, or,
// with `how.learn`, the one the script's start-up reached (learned in that
// child), or Studio A. A library that does not load is bad input; one that
// crashes or hangs while loading is reported. Returns the settings of the
// job's tasks, or the exit status to end with.
std::optional<TaskSettings> settleJob(const CommonOptions& common, const Settling& how,
                                      ExitStatus* failed);

// --print-installation: the installation `settings` start from, as
// installation steps, on standard output and nothing else.
ExitStatus printInstallation(const TaskSettings& settings);

}  // namespace drezhost

#endif  // DREZ_HOST_JOBS_JOB_SETUP_H_
