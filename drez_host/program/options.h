// The command line of drez-host: one subcommand per job, read with CLI11.
//
//   drez-host [run] [options] [SCENARIO...]   run scenarios (no scenario: the demo)
//   drez-host validate [options] [SCENARIO...] the named checks, then the scenarios
//   drez-host monkey [options]                 random events for any panel
//   drez-host serve [options] [SCENARIO]       the studio as a web page
//
// Every option takes its value as "--opt value" or "--opt=value". A further
// job gets its own subcommand in options.cpp and its own Job value.

#ifndef DREZ_HOST_PROGRAM_OPTIONS_H_
#define DREZ_HOST_PROGRAM_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simulated_host.h"

namespace drezhost {

// One value per subcommand.
enum class Job { Run, Validate, Monkey, Serve };

struct Options {
  Job job = Job::Run;

  // Every job.
  std::optional<std::string> script;  // --script; none: panel_library.h's rule
  PollDelivery polls = PollDelivery::Reentrant;
  double timeout = 5;   // --timeout: seconds one call into a script may take
  bool isolate = true;  // --no-isolate turns it off
  int maxDepth = SimulatedHost::kDefaultMaxDepth;
  bool quiet = false;
  std::string path;  // validate and monkey: the export's path argument

  // run (and the scenarios of validate).
  std::vector<std::string> scenarios;  // none: the demo; "-": the terminal
  bool interactive = false;
  bool showStudio = false;
  bool printDemo = false;
  bool failFast = false;
  bool coverage = false;
  bool updateTraces = false;
  std::vector<std::string> reports;  // junit=FILE, tap[=FILE], json=FILE
  std::string recordTrace;           // --record-trace FILE
  std::string checkTrace;            // --check-trace FILE

  // validate.
  std::vector<std::string> only;  // --only CHECK...
  bool onlyFailed = false;
  bool listChecks = false;

  // monkey.
  std::uint64_t seed = 1;
  int events = 1000;

  // serve.
  int port = 8080;                   // 0: a free port
  std::string listen = "127.0.0.1";  // the address to listen on

  bool help = false;
  std::string helpText;  // the help of the job asked about
};

// Reads the arguments after the program name. False, with `*error` set,
// when they do not fit the usage. -h or --help sets `help` and `helpText`.
bool parseOptions(int argc, const char* const* argv, Options* options, std::string* error);

}  // namespace drezhost

#endif  // DREZ_HOST_PROGRAM_OPTIONS_H_
