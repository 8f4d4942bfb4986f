#include "jobs/job_setup.h"

#include <iostream>
#include <memory>

#include "console/terminal.h"
#include "jobs/panel_library.h"
#include "scenario/data_files.h"
#include "scenario/installation_file.h"
#include "scenario/scenario_files.h"
#include "simulator/installation_learner.h"
#include "simulator/script_library.h"

namespace drezhost {

Verdict runTask(const tasks::LibraryProbe& probe, const TaskSettings& settings, ChildLink& link) {
  try {
    LoadedLibrary library(settings.library, link);
    if (probe.learn) {
      TaskSettings empty = settings;
      empty.installation.clear();
      RunOptions run = runOptionsFor(empty, true);
      run.installation = std::make_shared<const Installation>();
      ScenarioRunner runner(library.factory(), nullptr, run);
      wire(runner, settings, link);
      InstallationLearner learner(runner.installation());
      runner.host().setLearner(&learner);
      link.setStep("learning the installation: create and delete a script");
      if (Script* script = runner.host().create("s1", library.factory(), probe.path)) {
        runner.host().destroy(*script);
      }
      runner.host().setLearner(nullptr);
      learner.finish();
      std::vector<std::string> comments = {
          "The installation drez-host learned from the script's start-up and teardown."};
      comments.insert(comments.end(), learner.notes().begin(), learner.notes().end());
      link.send(messages::LearnedInstallation{writeInstallation(runner.installation(), comments)});
    }
  } catch (const LibraryError& error) {
    return libraryFailed(error, link);
  } catch (const ScenarioError& error) {
    link.show(OutputLine{LineKind::Diagnostic, std::string("drez-host: ") + error.what(), false});
    RunSummary summary;
    summary.verdict = Verdict::BadInput;
    summary.messages.emplace_back(error.what());
    link.setSummary(summary);
    return Verdict::BadInput;
  }
  link.setSummary(RunSummary());
  return Verdict::Passed;
}

ExitStatus installationSteps(const std::string& option, std::string* steps) {
  steps->clear();
  if (option.empty()) return ExitStatus::Passed;
  if (option == "studio-a") {
    *steps = dataFileText("studio_a.scn");
    return ExitStatus::Passed;
  }
  const std::string why = fileProblem(option, "installation file");
  if (!why.empty()) return badInput(why);
  try {
    *steps = installationFileText(option);
  } catch (const ScenarioError& error) {
    return badInput(error.what());
  }
  return ExitStatus::Passed;
}

std::optional<TaskSettings> settleJob(const CommonOptions& common, const Settling& how,
                                      ExitStatus* failed) {
  std::string library = how.library;
  try {
    if (library.empty() || common.script) library = choosePanelLibrary(common.script);
  } catch (const LibraryError& failure) {
    *failed = badInput(failure.what());
    return std::nullopt;
  }
  std::string installation;
  *failed = installationSteps(common.installation, &installation);
  if (*failed != ExitStatus::Passed) return std::nullopt;
  const bool learning = how.learn && common.installation.empty();
  TaskOrder order{common.settings(library, installation), tasks::LibraryProbe{learning, how.path}};
  std::string learned;
  ParentHooks hooks;
  hooks.message = [&learned](const ChildMessage& message) {
    if (const auto* steps = std::get_if<messages::LearnedInstallation>(&message)) {
      learned = steps->steps;
    }
  };
  const Outcome outcome = runIsolated(order, common.isolation, library, hooks);
  if (!outcome.finished()) {
    std::cout << "drez-host: the panel library " << library
              << (learning ? " failed while its script was learned from"
                           : " failed while it was loaded and unloaded");
    printCrashReport(std::cout, outcome.ending);
    std::cout << "\n==== " << namesOf(outcome.verdict()).heading << ": " << library << "\n";
    *failed = exitStatusOf(outcome.verdict());
    return std::nullopt;
  }
  if (outcome.verdict() != Verdict::Passed) {
    *failed = exitStatusOf(outcome.verdict());
    return std::nullopt;
  }
  std::cerr << "drez-host: panel library " << library << "\n";
  if (learning) order.settings.installation = learned;
  *failed = ExitStatus::Passed;
  return order.settings;
}

ExitStatus printInstallation(const TaskSettings& settings) {
  std::cout << (settings.installation.empty() ? dataFileText("studio_a.scn")
                                              : settings.installation);
  std::cout.flush();
  return std::cout ? ExitStatus::Passed : badInput("cannot write the installation");
}

}  // namespace drezhost
