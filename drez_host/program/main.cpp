// drez-host: the simulated panel host. See drez_host/README.md.

#include <iostream>
#include <memory>

#include "data_files.h"
#include "isolation.h"
#include "monkey.h"
#include "options.h"
#include "panel_library.h"
#include "run_job.h"
#include "script_library.h"
#include "validate_checks.h"

#if defined(DREZ_HOST_SERVE)
#include "serve.h"
#endif

namespace {

using namespace drezhost;

const int kBadInput = 2;

int fail(const std::string& message) {
  std::cerr << "drez-host: " << message << "\n";
  return kBadInput;
}

int run(int argc, char** argv) {
  Options options;
  std::string error;
  if (!parseOptions(argc, argv, &options, &error)) {
    return fail(error + "\n(drez-host --help lists the options)");
  }
  if (options.help) {
    std::cout << options.helpText;
    return 0;
  }
  if (options.printDemo) {
    std::cout << dataFileText("demo.scn");
    return 0;
  }
  if (options.job == Job::Validate && options.listChecks) {
    listChecks(std::cout);
    return 0;
  }
  if (options.job == Job::Serve) {
#if defined(DREZ_HOST_SERVE)
    // Serve loads the library itself: its restart loads it again.
    return runServe(options);
#else
    return fail("serve is a feature of the native build: this drez-host was built without it");
#endif
  }
  std::unique_ptr<ScriptLibrary> library;
  try {
    library = std::make_unique<ScriptLibrary>(choosePanelLibrary(options.script));
  } catch (const LibraryError& failure) {
    return fail(failure.what());
  }
  std::cout << "drez-host: panel library " << library->path() << "\n";
  switch (options.job) {
    case Job::Validate:
      return validateJob(options, library->entry());
    case Job::Monkey:
      return monkeyJob(options, library->entry());
    case Job::Run:
    case Job::Serve:
      break;
  }
  return runJob(options, library->entry());
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const ChildExit& done) {
    // A child process of an isolated run ends here, every object destroyed.
    return done.code;
  }
}
