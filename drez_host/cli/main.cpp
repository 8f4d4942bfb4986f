// drez-host: the simulated panel host. See drez_host/README.md.

#include <iostream>
#include <memory>

#include "cli/options.h"
#include "jobs/isolation.h"
#include "jobs/monkey.h"
#include "jobs/panel_library.h"
#include "jobs/run_job.h"
#include "jobs/terminal.h"
#include "jobs/validate_checks.h"
#include "scenario/data_files.h"
#include "simulator/script_library.h"

#if defined(DREZ_HOST_SERVE)
#include "serve/serve.h"
#endif

namespace {

using namespace drezhost;

ExitStatus serve(const CommandLine& line) {
#if defined(DREZ_HOST_SERVE)
  // Serve loads the library itself: its restart loads it again.
  return runServe(line.serve);
#else
  (void)line;
  return badInput("serve is a feature of the native build: this drez-host was built without it");
#endif
}

ExitStatus run(int argc, char** argv) {
  CommandLine line;
  std::string error;
  if (!parseCommandLine(argc, argv, &line, &error)) {
    return badInput(error + "\n(drez-host --help lists the options)");
  }
  if (line.help) {
    std::cout << line.helpText;
    return ExitStatus::Passed;
  }
  if (line.printDemo) {
    std::cout << dataFileText("demo.scn");
    return ExitStatus::Passed;
  }
  if (line.job == Job::Validate && line.listChecks) {
    listChecks(std::cout);
    return ExitStatus::Passed;
  }
  if (line.job == Job::Serve) return serve(line);
  std::unique_ptr<ScriptLibrary> library;
  try {
    library = std::make_unique<ScriptLibrary>(choosePanelLibrary(line.options.script));
  } catch (const LibraryError& failure) {
    return badInput(failure.what());
  }
  std::cout << "drez-host: panel library " << library->path() << "\n";
  switch (line.job) {
    case Job::Validate:
      return validateJob(line.options, library->entry());
    case Job::Monkey:
      return monkeyJob(line.options, library->entry());
    case Job::Run:
    case Job::Serve:
      break;
  }
  return runJob(line.options, library->entry());
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return exitCode(run(argc, argv));
  } catch (const ChildExit& done) {
    // A child process of an isolated run ends here, every object destroyed.
    return done.code;
  }
}
