// drez-host: the simulated panel host. See drez_host/README.md.

#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "data_files.h"
#include "options.h"
#include "panel_library.h"
#include "scenario_parser.h"
#include "scenario_runner.h"
#include "script_library.h"

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

// Runs parsed steps; a step that cannot run ends the run.
int runSteps(ScenarioRunner& runner, const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    try {
      runner.run(step);
    } catch (const ScenarioError& error) {
      std::cout.flush();
      fail(error.what());
      runner.finish();
      return kBadInput;
    }
  }
  return runner.finish();
}

int runFile(ScenarioRunner& runner, std::istream& in, const std::string& name) {
  std::vector<Step> steps;
  try {
    steps = parseScenario(in, name);
  } catch (const ScenarioError& error) {
    return fail(error.what());
  }
  return runSteps(runner, steps);
}

// Lines from the terminal: a bad line is reported and the next one read.
int runInteractive(ScenarioRunner& runner) {
  ScenarioParser parser("<terminal>");
  bool bad = false;
  std::string line;
  std::cout << "drez-host: type scenario lines ('help' lists them); end with end-of-file.\n";
  while (true) {
    std::cout << (parser.inBlock() ? "...> " : "drez> ") << std::flush;
    if (!std::getline(std::cin, line)) break;
    try {
      if (std::optional<Step> step = parser.feed(line)) runner.run(*step);
    } catch (const ScenarioError& error) {
      std::cout << error.what() << "\n";
      bad = true;
    }
  }
  std::cout << "\n";
  try {
    parser.finish();
  } catch (const ScenarioError& error) {
    std::cout << error.what() << "\n";
    bad = true;
  }
  const int result = runner.finish();
  return bad ? kBadInput : result;
}

// "drez-host serve ...": the studio as a web page, where the build has it.
int serve(int argc, char** argv) {
#if defined(DREZ_HOST_SERVE)
  ServeOptions options;
  std::string error;
  if (!parseServeOptions(argc - 1, argv + 1, &options, &error)) {
    std::cerr << "drez-host: " << error << "\n\n" << kServeUsage;
    return kBadInput;
  }
  if (options.common.help) {
    std::cout << kServeUsage;
    return 0;
  }
  return runServe(options);
#else
  (void)argc;
  (void)argv;
  return fail("serve is a feature of the native build: this drez-host was built without it");
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "serve") return serve(argc, argv);
  Options options;
  std::string error;
  if (!parseOptions(argc, argv, &options, &error)) {
    std::cerr << "drez-host: " << error << "\n\n" << kUsage;
    return kBadInput;
  }
  if (options.help) {
    std::cout << kUsage;
    return 0;
  }
  if (options.printDemo) {
    std::cout << dataFileText("demo.scn");
    return 0;
  }
  std::ifstream file;
  if (!options.interactive && !options.scenario.empty()) {
    file.open(options.scenario);
    if (!file) return fail("cannot read the scenario file '" + options.scenario + "'");
  }
  std::unique_ptr<ScriptLibrary> library;
  try {
    library = std::make_unique<ScriptLibrary>(choosePanelLibrary(options.script));
  } catch (const LibraryError& failure) {
    return fail(failure.what());
  }

  RunOptions run;
  run.showStudio = options.showStudio;
  run.showTrace = !options.quiet;
  ScenarioRunner runner(library->entry(), std::cout, run);
  runner.host().setPollDelivery(options.polls);
  std::cout << "drez-host: panel library " << library->path() << "\n";
  if (options.interactive) return runInteractive(runner);
  if (options.scenario.empty()) {
    std::istringstream demo(dataFileText("demo.scn"));
    return runFile(runner, demo, "demo");
  }
  return runFile(runner, file, options.scenario);
}
