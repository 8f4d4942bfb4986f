// drez-host: the simulated panel host. See drez_host/README.md.

#include <iostream>

#include "cli/options.h"
#include "cli/task_work.h"
#include "isolation/isolation.h"

int main(int argc, char** argv) {
  using namespace drezhost;
  try {
    // A child process runs the same work whether it was forked or started anew.
    setTaskWork(performTaskOf);
    if (isChildProcess(argc, argv)) runChildProcess(argc, argv);
    CommandLine line;
    if (const std::optional<ExitStatus> ended =
            parseCommandLine(argc, argv, &line, std::cout, std::cerr)) {
      return exitCode(*ended);
    }
    return exitCode(line.job->run(line));
  } catch (const ChildExit& done) {
    // A child process of an isolated run ends here, every object destroyed.
    return done.code;
  }
}
