// The command line of drez-host: one subcommand per job, read with CLI11.
//
//   drez-host [run] [options] [SCENARIO...]   run scenarios (no scenario: the demo)
//   drez-host validate [options] [SCENARIO...] the named checks, then the scenarios
//   drez-host monkey [options]                 random events for any panel
//   drez-host replay [options] CAPTURE         a capture of the studio played again
//   drez-host serve [options] [SCENARIO]       the studio as a web page
//
// Every option takes its value as "--opt value" or "--opt=value". A further
// job gets its own subcommand in options.cpp and its own Job value.
// The command line is the only room that sees every job; it includes them
// all, and none of them includes it.

#ifndef DREZ_HOST_CLI_OPTIONS_H_
#define DREZ_HOST_CLI_OPTIONS_H_

#include <string>

#include "isolation/job_options.h"
#include "serve/serve_settings.h"

namespace drezhost {

// One value per subcommand.
enum class Job { Run, Validate, Monkey, Replay, Serve };

struct CommandLine {
  Job job = Job::Run;
  JobOptions options;   // run, validate, monkey
  ServeSettings serve;  // serve (its library and polls are in `options`)
  bool printDemo = false;
  bool listChecks = false;
  bool help = false;
  std::string helpText;  // the help of the job asked about
};

// Reads the arguments after the program name. False, with `*error` set,
// when they do not fit the usage. -h or --help sets `help` and `helpText`.
bool parseCommandLine(int argc, const char* const* argv, CommandLine* line, std::string* error);

}  // namespace drezhost

#endif  // DREZ_HOST_CLI_OPTIONS_H_
