// The command line of drez-host: one table of jobs, each row a subcommand
// with its summary, its options and the function that runs it (options.cpp),
// read with CLI11.
//
//   drez-host [run] [options] [SCENARIO...]   run scenarios (no scenario: the demo)
//   drez-host validate [options] [SCENARIO...] the named checks, then the scenarios
//   drez-host monkey [options]                 random events for any panel
//   drez-host replay [options] CAPTURE         a capture of the studio played again
//   drez-host serve [options] [SCENARIO]       the studio as a web page
//
// Every option takes its value as "--opt value" or "--opt=value". A further
// job is one row of the table, with its options struct beside the job. The
// command line is the only room that sees every job; it includes them all,
// and none of them includes it.

#ifndef DREZ_HOST_CLI_OPTIONS_H_
#define DREZ_HOST_CLI_OPTIONS_H_

#include <optional>
#include <ostream>
#include <vector>

#include "isolation/common_options.h"
#include "jobs/monkey.h"
#include "jobs/replay_job.h"
#include "jobs/run_job.h"
#include "jobs/validate_checks.h"
#include "runner/verdict.h"
#include "serve/serve_settings.h"

namespace CLI {
class App;
}

namespace drezhost {

struct JobEntry;

// What the command line says: the job, and the options of every job (those
// of the jobs not chosen keep their defaults).
struct CommandLine {
  const JobEntry* job = nullptr;
  CommonOptions common;  // every job but serve
  RunJobOptions run;
  ValidateOptions validate;
  MonkeyOptions monkey;
  ReplayOptions replay;
  ServeSettings serve;
};

// One job of drez-host.
struct JobEntry {
  const char* name;     // its subcommand; the first job is also the default
  const char* summary;  // its line in --help
  // Adds its options (and positional arguments) to `app`, read into `line`.
  void (*options)(CLI::App& app, CommandLine& line);
  ExitStatus (*run)(const CommandLine& line);
};

// Every job, in the order --help lists them.
const std::vector<JobEntry>& jobs();

// Reads the arguments after the program name into `line`. Nothing when the
// job may run; otherwise the exit status to end with, CLI11 having written
// the help asked for on `out`, or what does not fit the usage on `err`.
std::optional<ExitStatus> parseCommandLine(int argc, const char* const* argv, CommandLine* line,
                                           std::ostream& out, std::ostream& err);

}  // namespace drezhost

#endif  // DREZ_HOST_CLI_OPTIONS_H_
