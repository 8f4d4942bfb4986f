#include "jobs/run_job.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <system_error>

#include "runner/text_diff.h"
#include "scenario/data_files.h"
#include "scenario/parser.h"
#include "simulator/trace.h"

namespace drezhost {

namespace {

const char kSectionMark[] = "=== ";

std::string displayName(const std::string& scenario) {
  if (scenario.empty()) return "demo";
  if (scenario == "-") return "<terminal>";
  return scenario;
}

// A scenario's section in a golden trace file: its file name, so that the
// file serves wherever the scenario is run from.
std::string sectionName(const std::string& name) {
  return std::filesystem::path(name).filename().string();
}

// True when the file holds an "expect trace" step (or cannot be read).
bool fileExpectsTraces(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return !file || expectsTraces(file);
}

// Why `path` cannot be a scenario file, or empty text.
std::string unreadable(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status)) {
    return "cannot read the scenario file '" + path + "': it does not exist";
  }
  if (std::filesystem::is_directory(status)) {
    return "cannot read the scenario file '" + path + "': it is a directory";
  }
  std::ifstream file(path);
  if (!file) return "cannot read the scenario file '" + path + "'";
  return std::string();
}

// The lines of `name`'s section in a golden trace file holding several.
std::vector<std::string> goldenSection(const std::string& path, const std::string& name,
                                       bool* found) {
  std::ifstream file(path, std::ios::binary);
  std::vector<std::string> lines;
  *found = false;
  bool inside = false;
  std::string line;
  while (std::getline(file, line)) {
    if (line.compare(0, 4, kSectionMark) == 0) {
      inside = line.substr(4) == name;
      *found = *found || inside;
      continue;
    }
    if (inside) lines.push_back(line);
  }
  return lines;
}

}  // namespace

Verdict playScenario(ScenarioRunner& runner, std::istream& in, const std::string& name,
                     ChildLink& link, bool interactive) {
  ScenarioParser parser(name);
  std::size_t steps = 0;
  std::size_t badLines = 0;
  bool stopped = false;
  std::string line;
  auto prompt = [&] {
    if (interactive) std::cout << (parser.inBlock() ? "...> " : "drez> ") << std::flush;
  };
  prompt();
  while (!stopped && std::getline(in, line)) {
    try {
      if (std::optional<Step> step = parser.feed(line)) {
        ++steps;
        link.setStep(step->where() + ": " + shownText(step->source));
        runner.run(*step);
      }
    } catch (const ContractStop& error) {
      std::cerr << "drez-host: " << error.what() << "\n";
      runner.stop(error.what(), true);
      stopped = true;
    } catch (const ScenarioError& error) {
      if (interactive) {
        std::cout << error.what() << "\n";
        ++badLines;
      } else {
        std::cerr << "drez-host: " << error.what() << "\n";
        runner.stop(error.what(), false);
        stopped = true;
      }
    }
    if (!stopped) prompt();
  }
  if (interactive) std::cout << "\n";
  if (!stopped) {
    try {
      parser.finish();
    } catch (const ScenarioError& error) {
      (interactive ? std::cout : std::cerr)
          << (interactive ? "" : "drez-host: ") << error.what() << "\n";
      if (interactive) {
        ++badLines;
      } else {
        runner.stop(error.what(), false);
        stopped = true;
      }
    }
  }
  if (badLines != 0) {
    runner.stop(
        std::to_string(badLines) + " line" + (badLines == 1 ? "" : "s") + " could not be run",
        false);
  } else if (!stopped && steps == 0) {
    const std::string why = "the scenario '" + name + "' holds no step";
    std::cerr << "drez-host: " << why << "\n";
    runner.stop(why, false);
  }
  // The expectations after the point where the run stopped were never reached.
  if (stopped && runner.covering()) {
    while (std::getline(in, line)) {
      try {
        if (std::optional<Step> step = parser.feed(line)) {
          if (step->isExpectation()) runner.neverReached(*step);
        }
      } catch (const ScenarioError&) {
      }
    }
  }
  return runner.finish();
}

Result runScenario(const std::string& scenario, const JobOptions& options,
                   const ScriptFactory& factory) {
  Result result;
  result.name = displayName(scenario);
  if (!scenario.empty() && scenario != "-") {
    const std::string why = unreadable(scenario);
    if (!why.empty()) {
      std::cerr << "drez-host: " << why << "\n";
      result.verdict = Verdict::BadInput;
      result.summary.verdict = Verdict::BadInput;
      result.summary.messages.push_back(why);
      return result;
    }
  }
  const Outcome outcome = runIsolated(
      [&](ChildLink& link) {
        RunOptions run;
        run.showStudio = options.showStudio;
        run.showTrace = !options.quiet;
        run.coverage = options.coverage;
        run.updateTraces = options.updateTraces;
        run.maxDepth = options.maxDepth;
        run.keepActionTrace =
            !options.quiet || scenario.empty() || scenario == "-" || fileExpectsTraces(scenario);
        std::ofstream recorded;
        std::vector<std::string> checked;
        if (!options.recordTrace.empty()) {
          recorded.open(options.recordTrace, std::ios::binary | std::ios::app);
          recorded << kSectionMark << sectionName(result.name) << "\n";
          run.traceSink = [&](const std::string& line) { recorded << line << "\n"; };
        } else if (!options.checkTrace.empty()) {
          run.traceSink = [&](const std::string& line) { checked.push_back(line); };
        }
        ScenarioRunner runner(factory, terminalOutput(), run);
        runner.host().setPollDelivery(options.polls);
        runner.host().addObserver(&link);
        Verdict verdict = Verdict::Passed;
        if (scenario.empty()) {
          std::istringstream demo(dataFileText("demo.scn"));
          verdict = playScenario(runner, demo, "demo", link, false);
        } else if (scenario == "-") {
          std::cout
              << "drez-host: type scenario lines ('help' lists them); end with end-of-file.\n";
          verdict = playScenario(runner, std::cin, "<terminal>", link, true);
        } else {
          std::ifstream file(scenario, std::ios::binary);
          verdict = playScenario(runner, file, scenario, link, false);
        }
        RunSummary summary = runner.summary();
        if (!options.checkTrace.empty()) {
          bool found = false;
          const std::vector<std::string> golden =
              goldenSection(options.checkTrace, sectionName(result.name), &found);
          const std::string diff = unifiedDiff(golden, checked, options.checkTrace, result.name);
          if (!found) {
            summary.messages.push_back("the golden trace " + options.checkTrace +
                                       " has no section for " + result.name);
          } else if (!diff.empty()) {
            summary.messages.push_back("the trace differs from " + options.checkTrace);
          }
          if (!found || !diff.empty()) {
            std::cout << "\n" << summary.messages.back() << "\n" << diff;
            if (verdict == Verdict::Passed) verdict = Verdict::Failed;
            summary.verdict = verdict;
          }
        }
        std::cout.flush();
        link.setSummary(summary);
        return verdict;
      },
      isolationFor(options));
  result = resultOf(result.name, outcome);
  if (outcome.kind != Outcome::Kind::Finished) {
    std::cout << result.crash << "\n==== " << namesOf(result.verdict).heading << ": " << result.name
              << "\n";
    std::cout.flush();
  }
  return result;
}

Result resultOf(const std::string& name, const Outcome& outcome) {
  Result result;
  result.name = name;
  result.verdict = outcome.verdict;
  result.seconds = outcome.seconds;
  result.summary = outcome.summary;
  if (outcome.kind != Outcome::Kind::Finished) {
    std::ostringstream report;
    printOutcome(report, outcome);
    result.crash = report.str();
  }
  return result;
}

ExitStatus overallStatus(const std::vector<Result>& results) {
  ExitStatus status = ExitStatus::Passed;
  for (const Result& result : results) status = worse(status, result.status());
  return status;
}

void printTotals(std::ostream& out, const std::vector<Result>& results, const char* what) {
  std::size_t counts[4] = {0, 0, 0, 0};
  for (const Result& result : results) ++counts[exitCode(result.status())];
  out << "\n==== " << results.size() << " " << what << ": " << counts[0] << " passed, " << counts[1]
      << " failed, " << counts[2] << " bad input, " << counts[3] << " crashed or hung\n";
  for (const Result& result : results) {
    if (result.verdict != Verdict::Passed)
      out << "  " << namesOf(result.verdict).word << ": " << result.name << "\n";
  }
}

ExitStatus runJob(const JobOptions& options, const ScriptFactory& factory) {
  std::vector<std::string> scenarios = options.scenarios;
  if (options.interactive) scenarios = {"-"};
  if (scenarios.empty()) scenarios = {""};
  if (!options.recordTrace.empty()) {
    std::ofstream truncate(options.recordTrace, std::ios::binary | std::ios::trunc);
    if (!truncate) return badInput("cannot write the trace file '" + options.recordTrace + "'");
  }
  if (!options.checkTrace.empty() && !std::ifstream(options.checkTrace)) {
    return badInput("cannot read the golden trace '" + options.checkTrace + "'");
  }
  std::vector<Result> results;
  for (const std::string& scenario : scenarios) {
    results.push_back(runScenario(scenario, options, factory));
    if (options.failFast && results.back().verdict != Verdict::Passed) break;
  }
  if (results.size() > 1 || results.size() < scenarios.size()) {
    printTotals(std::cout, results, "scenarios");
    if (results.size() < scenarios.size()) {
      std::cout << "  (--fail-fast: " << scenarios.size() - results.size() << " not run)\n";
    }
  }
  return finishJob(options, "run", results);
}

IsolationOptions isolationFor(const JobOptions& options) {
  IsolationOptions isolation;
  isolation.isolate = options.isolate;
  isolation.callBudgetSeconds = options.timeout;
  return isolation;
}

RunOptions quietRunOptions(const JobOptions& options) {
  RunOptions run;
  run.showTrace = false;
  run.keepActionTrace = false;
  run.maxDepth = options.maxDepth;
  return run;
}

ExitStatus finishJob(const JobOptions& options, const char* suite,
                     const std::vector<Result>& results) {
  std::string error;
  if (!writeReports(options.reports, suite, results, std::cout, &error)) {
    return worse(overallStatus(results), badInput(error));
  }
  return overallStatus(results);
}

}  // namespace drezhost
