#include "jobs/run_job.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <system_error>

#include "console/completion.h"
#include "console/line_editor.h"
#include "console/terminal.h"
#include "isolation/child_run.h"
#include "jobs/job_setup.h"
#include "runner/text_diff.h"
#include "scenario/data_files.h"
#include "scenario/parser.h"
#include "scenario/scenario_files.h"
#include "simulator/trace.h"

namespace drezhost {

namespace {

const char kSectionMark[] = "=== ";

using Source = tasks::Scenario::Source;

std::string displayName(const tasks::Scenario& scenario) {
  switch (scenario.source) {
    case Source::Demo:
      return "demo";
    case Source::Terminal:
      return "<terminal>";
    case Source::File:
      break;
  }
  return scenario.file;
}

// A scenario's section in a golden trace file: its file name, so that the
// file serves wherever the scenario is run from.
std::string sectionName(const std::string& name) {
  return std::filesystem::path(name).filename().string();
}

// The prompts of an interactive run.
const char kPrompt[] = "drez> ";
const char kBlockPrompt[] = "...> ";

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

// Where a scenario's lines come from: a file, the demo's text, or the
// parent's terminal, asked for one line at a time with a prompt.
class LineSource {
 public:
  virtual ~LineSource() = default;
  // The next line into `line` (its room used again); false at the end.
  // `cut`: it was too long.
  virtual bool next(const ScenarioParser& parser, std::string& line, bool* cut) = 0;
  virtual bool interactive() const { return false; }
};

class StreamLines : public LineSource {
 public:
  explicit StreamLines(std::istream& in) : lines_(in) {}
  bool next(const ScenarioParser&, std::string& line, bool* cut) override {
    return lines_.next(line, cut);
  }

 private:
  ScenarioLines lines_;
};

// The lines typed at the parent's terminal: each question carries the
// prompt and the names of the live installation, for completion.
class AskedLines : public LineSource {
 public:
  AskedLines(ChildLink& link, ScenarioRunner& runner) : link_(link), runner_(runner) {}
  bool next(const ScenarioParser& parser, std::string& line, bool* cut) override {
    *cut = false;
    // The line just read opened a block: its step names it.
    if (!parser.inBlock()) {
      block_.clear();
    } else if (block_.empty()) {
      block_ = phraseOf(last_);
    }
    std::optional<std::string> answer =
        link_.ask(questionFor(runner_, parser.inBlock() ? kBlockPrompt : kPrompt, block_));
    last_ = answer.value_or(std::string());
    if (answer) line = std::move(*answer);
    return answer.has_value();
  }
  bool interactive() const override { return true; }

 private:
  ChildLink& link_;
  ScenarioRunner& runner_;
  std::string last_;   // the line read before
  std::string block_;  // the phrase of the step whose block is open
};

void say(ChildLink& link, LineKind kind, const std::string& text) {
  link.show(OutputLine{kind, text, false});
}

// Feeds the lines of `lines` (named `name` in messages) to `runner` one by
// one as they come, running each step once it is complete; tells `link`
// which step runs. Bad input stops the run (or, interactively, is reported
// and the next line read); the result is runner.finish()'s.
Verdict playScenario(ScenarioRunner& runner, LineSource& lines, const std::string& name,
                     ChildLink& link) {
  const bool interactive = lines.interactive();
  ScenarioParser parser(name);
  std::size_t steps = 0;
  std::size_t badLines = 0;
  bool stopped = false;
  bool cut = false;
  auto stop = [&](const std::string& why, bool contract) {
    say(link, LineKind::Diagnostic, "drez-host: " + why);
    runner.stop(why, contract);
    stopped = true;
  };
  std::string line;
  Step step;  // its room serves every line
  while (!stopped) {
    if (!lines.next(parser, line, &cut)) break;
    try {
      if (cut) parser.tooLong();
      if (parser.feed(line, step)) {
        ++steps;
        runner.run(step);
      }
    } catch (const ContractStop& error) {
      stop(error.what(), true);
    } catch (const ScenarioError& error) {
      if (interactive) {
        say(link, LineKind::Note, error.what());
        ++badLines;
      } else {
        stop(error.what(), false);
      }
    }
  }
  if (!stopped) {
    try {
      parser.finish();
    } catch (const ScenarioError& error) {
      if (interactive) {
        say(link, LineKind::Note, error.what());
        ++badLines;
      } else {
        stop(error.what(), false);
      }
    }
  }
  if (badLines != 0) {
    runner.stop(
        std::to_string(badLines) + " line" + (badLines == 1 ? "" : "s") + " could not be run",
        false);
  } else if (!stopped && steps == 0) {
    const std::string why = "the scenario '" + name + "' holds no step";
    say(link, LineKind::Diagnostic, "drez-host: " + why);
    runner.stop(why, false);
  }
  // The expectations after the point where the run stopped were never reached.
  if (stopped && runner.covering() && !interactive) {
    while (lines.next(parser, line, &cut)) {
      try {
        if (cut) continue;
        if (std::optional<Step> step = parser.feed(line)) {
          if (step->isExpectation()) runner.neverReached(*step);
        }
      } catch (const ScenarioError&) {
      }
    }
  }
  return runner.finish();
}

}  // namespace

Verdict runTask(const tasks::Scenario& scenario, const TaskSettings& settings, ChildLink& link) {
  const std::string name = displayName(scenario);
  RunOptions run = runOptionsFor(settings, false);
  run.showStudio = scenario.showStudio;
  run.showTrace = !scenario.quiet;
  run.coverage = scenario.coverage;
  run.updateTraces = scenario.updateTraces;
  const ActionReads reads =
      scenario.source == Source::File ? actionReads(scenario.file) : ActionReads{true, true};
  run.keepActionTrace = !scenario.quiet || reads.trace;
  run.keepCommands = reads.commands;
  // The watchdog's report names the step, one of an included file too.
  run.stepStarted = [&link](const Step& step) { link.setStep(step); };
  std::ofstream recorded;
  std::vector<std::string> checked;
  if (!scenario.recordTrace.empty()) {
    recorded.open(scenario.recordTrace, std::ios::binary | std::ios::app);
    recorded << kSectionMark << sectionName(name) << "\n";
    run.traceSink = [&](const std::string& line) { recorded << line << "\n"; };
  } else if (!scenario.checkTrace.empty()) {
    run.traceSink = [&](const std::string& line) { checked.push_back(line); };
  }
  std::unique_ptr<LoadedLibrary> library = LoadedLibrary::open(settings.library, link);
  if (!library) return Verdict::BadInput;
  Verdict verdict = Verdict::Passed;
  RunSummary summary;
  {
    ScenarioRunner runner(library->factory(), link.output(), run);
    wire(runner, settings, link);
    switch (scenario.source) {
      case Source::Demo: {
        std::istringstream demo(dataFileText("demo.scn"));
        StreamLines lines(demo);
        verdict = playScenario(runner, lines, "demo", link);
        break;
      }
      case Source::Terminal: {
        say(link, LineKind::Note,
            "drez-host: type scenario lines ('help' lists them); end with end-of-file.");
        AskedLines lines(link, runner);
        verdict = playScenario(runner, lines, "<terminal>", link);
        break;
      }
      case Source::File: {
        std::ifstream file(scenario.file, std::ios::binary);
        StreamLines lines(file);
        verdict = playScenario(runner, lines, scenario.file, link);
        break;
      }
    }
    summary = runner.summary();
  }
  if (!scenario.recordTrace.empty()) {
    recorded.flush();
    if (!recorded) {
      summary.messages.push_back("cannot write the trace file '" + scenario.recordTrace + "'");
      say(link, LineKind::Diagnostic, "drez-host: " + summary.messages.back());
      verdict = Verdict::BadInput;
    }
  } else if (!scenario.checkTrace.empty()) {
    bool found = false;
    const std::vector<std::string> golden =
        goldenSection(scenario.checkTrace, sectionName(name), &found);
    const std::string diff = unifiedDiff(golden, checked, scenario.checkTrace, name);
    if (!found) {
      summary.messages.push_back("the golden trace " + scenario.checkTrace +
                                 " has no section for " + name);
    } else if (!diff.empty()) {
      summary.messages.push_back("the trace differs from " + scenario.checkTrace);
    }
    if (!found || !diff.empty()) {
      link.show(OutputLine{LineKind::Failure, summary.messages.back(), true});
      emitLines(link.output(), LineKind::Failure, diff);
      if (verdict == Verdict::Passed) verdict = Verdict::Failed;
    }
  }
  summary.verdict = verdict;
  link.setSummary(summary);
  return verdict;
}

tasks::Scenario scenarioTask(const std::string& file, const CommonOptions& common,
                             const RunJobOptions& options) {
  tasks::Scenario scenario;
  scenario.source = file.empty() ? Source::Demo : file == "-" ? Source::Terminal : Source::File;
  if (scenario.source == Source::File) scenario.file = file;
  scenario.quiet = common.quiet;
  scenario.showStudio = options.showStudio;
  scenario.coverage = options.coverage;
  scenario.updateTraces = options.updateTraces;
  scenario.recordTrace = options.recordTrace;
  scenario.checkTrace = options.checkTrace;
  return scenario;
}

Result runScenario(const tasks::Scenario& scenario, const TaskSettings& settings,
                   const Isolation& isolation, bool onlyFailed) {
  Result result;
  result.name = displayName(scenario);
  if (scenario.source == Source::File) {
    const std::string why = fileProblem(scenario.file, "scenario file");
    if (!why.empty()) {
      badInput(why);
      result.ending = endings::BadInput{scenario.file, {why}};
      result.summary.verdict = Verdict::BadInput;
      result.summary.messages.push_back(why);
      return result;
    }
  }
  ParentHooks hooks;
  // Opened at the first question, so in the parent only (the child is
  // forked before it).
  std::unique_ptr<LineReader> reader;
  // Ctrl-C while the child runs a step: the step goes on under the
  // watchdog, and the session with it. Without a child nothing would end a
  // hung call, so there Ctrl-C is caught only while a line is typed.
  std::optional<InterruptCatch> betweenLines;
  if (scenario.source == Source::Terminal) {
    hooks.answer = [&](const ChildMessage& question) -> std::optional<std::string> {
      const auto* asked = std::get_if<LineQuestion>(&question);
      if (asked == nullptr) return std::nullopt;
      if (!reader) {
        reader = LineReader::open();
        if (isolation.isolate) betweenLines.emplace(InterruptCatch::Reads::Restart);
      }
      return reader->read(*asked);
    };
  }
  // Held back until the verdict says whether to show them.
  std::vector<OutputLine> held;
  if (onlyFailed) hooks.show = [&held](const OutputLine& line) { held.push_back(line); };
  const Outcome outcome = runIsolated(TaskOrder{settings, scenario}, isolation, result.name, hooks);
  result = resultOf(result.name, outcome);
  if (onlyFailed && result.status() != ExitStatus::Passed) {
    const OutputSink show = terminalOutput();
    for (const OutputLine& line : held) show(line);
  }
  if (!outcome.finished()) {
    printCrashReport(std::cout, result.ending);
    std::cout << "\n==== " << namesOf(result.verdict()).heading << ": " << result.name << "\n";
    std::cout.flush();
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
  std::size_t skipped = 0;
  for (const Result& result : results) {
    // Skipped ones are counted apart from those that passed.
    if (result.verdict() == Verdict::Skipped) {
      ++skipped;
    } else {
      ++counts[exitCode(result.status())];
    }
  }
  out << "\n==== " << results.size() << " " << what << ": " << counts[0] << " passed, ";
  if (skipped != 0) out << skipped << " skipped, ";
  out << counts[1] << " failed, " << counts[2] << " bad input, " << counts[3]
      << " crashed or hung\n";
  for (const Result& result : results) {
    if (result.status() != ExitStatus::Passed)
      out << "  " << namesOf(result.verdict()).word << ": " << result.name << "\n";
  }
}

ExitStatus runJob(const CommonOptions& common, const RunJobOptions& options) {
  if (options.printDemo) {
    std::cout << dataFileText("demo.scn");
    return ExitStatus::Passed;
  }
  ExitStatus failed = ExitStatus::Passed;
  const std::optional<TaskSettings> settings = settleJob(common, Settling(), &failed);
  if (!settings) return failed;
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
    results.push_back(
        runScenario(scenarioTask(scenario, common, options), *settings, common.isolation));
    if (options.failFast && results.back().verdict() != Verdict::Passed) break;
  }
  if (results.size() > 1 || results.size() < scenarios.size()) {
    printTotals(std::cout, results, "scenarios");
    if (results.size() < scenarios.size()) {
      std::cout << "  (--fail-fast: " << scenarios.size() - results.size() << " not run)\n";
    }
  }
  return finishJob(options.reports, "run", results);
}

ExitStatus finishJob(const std::vector<std::string>& reports, const char* suite,
                     const std::vector<Result>& results) {
  std::string error;
  if (!writeReports(reports, suite, results, std::cout, &error)) {
    return worse(overallStatus(results), badInput(error));
  }
  return overallStatus(results);
}

}  // namespace drezhost
