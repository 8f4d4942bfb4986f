// What the jobs (run, validate, monkey) are told to do: the settings the
// command line (cli/options.h) reads into one struct.

#ifndef DREZ_HOST_ISOLATION_JOB_OPTIONS_H_
#define DREZ_HOST_ISOLATION_JOB_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simulator/simulated_host.h"

namespace drezhost {

struct JobOptions {
  // Every job.
  std::optional<std::string> script;  // --script; none: panel_library.h's rule
  std::string library;                // the library chosen by that rule (the command line sets it)
  // --installation: a file of installation steps, or "studio-a"; empty:
  // Studio A for scenarios, learned from the script for validate and monkey.
  std::string installation;
  bool printInstallation = false;  // validate, monkey: print it and stop
  // The installation steps the runs start from, as the job settled them
  // (jobs/job_setup.h); empty: Studio A.
  std::string installationText;
  PollDelivery polls = PollDelivery::Reentrant;
  double timeout = 5;   // --timeout: seconds one call into a script may take
  bool isolate = true;  // --no-isolate turns it off
  int maxDepth = SimulatedHost::kDefaultMaxDepth;
  std::size_t maxCommands = SimulatedHost::kDefaultMaxCommands;
  bool quiet = false;
  std::string path;  // validate and monkey: the export's path argument

  // run (and the scenarios of validate).
  std::vector<std::string> scenarios;  // none: the demo; "-": the terminal
  bool interactive = false;
  bool showStudio = false;
  bool failFast = false;
  bool coverage = false;
  bool updateTraces = false;
  std::vector<std::string> reports;  // junit=FILE, tap[=FILE], json=FILE
  std::string recordTrace;           // --record-trace FILE
  std::string checkTrace;            // --check-trace FILE

  // validate.
  std::vector<std::string> only;  // --only CHECK...
  bool onlyFailed = false;

  // replay.
  std::string capture;        // the capture file
  std::string writeScenario;  // --write-scenario FILE

  // monkey.
  std::uint64_t seed = 1;
  int events = 1000;
};

}  // namespace drezhost

#endif  // DREZ_HOST_ISOLATION_JOB_OPTIONS_H_
