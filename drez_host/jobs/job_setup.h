// What the jobs do before their runs, in drez-host's own process: check a
// scenario file, find out from a child whether the panel library loads, and
// settle the installation the runs start from.

#ifndef DREZ_HOST_JOBS_JOB_SETUP_H_
#define DREZ_HOST_JOBS_JOB_SETUP_H_

#include <string>

#include "isolation/isolation.h"
#include "isolation/job_options.h"
#include "runner/verdict.h"
#include "scenario/scenario_files.h"

namespace drezhost {

// The child's task that loads the library (and, with the subject "learn",
// learns the installation its script reaches at start-up and teardown,
// sent back as installation steps).
extern const ChildTask kLibraryTask;

// Loads the library in a child and says so ("drez-host: panel library
// PATH"); then sets options.installationText: the file --installation
// names (with the files it includes, in their place), Studio A for
// "studio-a", or, when none is named and `learn`, what
// the script's start-up reached (learned in that child). A library that
// does not load is bad input; one that crashes or hangs while loading is
// reported. Returns Passed when the runs can go ahead.
ExitStatus prepareJob(JobOptions& options, bool learn);

}  // namespace drezhost

#endif  // DREZ_HOST_JOBS_JOB_SETUP_H_
