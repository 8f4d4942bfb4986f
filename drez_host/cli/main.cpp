// drez-host: the simulated panel host. See drez_host/README.md.

#include <iostream>
#include <memory>

#include "cli/options.h"
#include "console/terminal.h"
#include "isolation/isolation.h"
#include "jobs/job_setup.h"
#include "jobs/monkey.h"
#include "jobs/panel_library.h"
#include "jobs/replay_job.h"
#include "jobs/run_job.h"
#include "jobs/validate_checks.h"
#include "scenario/data_files.h"
#include "simulator/script_library.h"

#if defined(DREZ_HOST_SERVE)
#include "serve/serve.h"
#include "serve/studio_task.h"
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

// Every task a child process can run, for a child started as a new process.
std::vector<const ChildTask*> childTasks() {
  return {
    &kLibraryTask, &kScenarioTask, &kCheckTask, &kMonkeyTask, &kReplayTask,
#if defined(DREZ_HOST_SERVE)
        &kStudioTask
#endif
  };
}

// The job the command line names, once the library and the installation are settled.
ExitStatus runJobOf(const CommandLine& line) {
  switch (line.job) {
    case Job::Validate:
      return validateJob(line.options);
    case Job::Monkey:
      return monkeyJob(line.options);
    case Job::Replay:
      return replayJob(line.options);
    case Job::Run:
    case Job::Serve:
      break;
  }
  return runJob(line.options);
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
  JobOptions& options = line.options;
  if (line.job == Job::Replay) {
    const std::string why = captureProblem(options.capture);
    if (!why.empty()) return badInput(why);
    if (!options.writeScenario.empty()) return writeScenarioJob(options);
  }
  try {
    // A replay plays the library the capture names, unless told another.
    const std::string captured =
        line.job == Job::Replay && !options.script ? captureLibrary(options.capture) : "";
    options.library = captured.empty() ? choosePanelLibrary(options.script) : captured;
  } catch (const LibraryError& failure) {
    return badInput(failure.what());
  }
  // Validate and monkey learn the installation of a panel they know nothing of.
  const ExitStatus prepared =
      prepareJob(options, line.job == Job::Validate || line.job == Job::Monkey);
  if (prepared != ExitStatus::Passed) return prepared;
  if (options.printInstallation) {
    std::cout << (options.installationText.empty() ? dataFileText("studio_a.scn")
                                                   : options.installationText);
    return ExitStatus::Passed;
  }
  return runJobOf(line);
}

// A child process started as a new one (Windows): the command line after
// the hidden first argument is the parent's.
[[noreturn]] void runChild(int argc, char** argv) {
  CommandLine line;
  std::string error;
  parseCommandLine(argc - 2, argv + 2, &line, &error);
  const std::string captured = line.job == Job::Replay && !line.options.script
                                   ? captureLibrary(line.options.capture)
                                   : std::string();
  line.options.library = captured.empty() ? choosePanelLibrary(line.options.script) : captured;
  runChildProcess(argc, argv, childTasks(), line.options);
  throw ChildExit{exitCode(ExitStatus::Crashed)};
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (isChildProcess(argc, argv)) runChild(argc, argv);
    return exitCode(run(argc, argv));
  } catch (const ChildExit& done) {
    // A child process of an isolated run ends here, every object destroyed.
    return done.code;
  }
}
