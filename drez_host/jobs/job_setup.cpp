#include "jobs/job_setup.h"

#include <iostream>
#include <memory>

#include "console/terminal.h"
#include "isolation/child_run.h"
#include "scenario/data_files.h"
#include "scenario/installation_file.h"
#include "simulator/installation_learner.h"

namespace drezhost {

namespace {

Verdict libraryTask(const JobOptions& options, const std::string& payload, ChildLink& link) {
  const TaskInput input = TaskInput::decode(payload);
  try {
    LoadedLibrary library(options.library, link);
    if (input.subject == "learn") {
      RunOptions run = runOptionsFor(options, TaskInput(), true);
      run.installation = std::make_shared<const Installation>();
      ScenarioRunner runner(library.factory(), nullptr, run);
      wire(runner, options, link);
      InstallationLearner learner(runner.installation());
      runner.host().setLearner(&learner);
      link.setStep("learning the installation: create and delete a script");
      if (Script* script = runner.host().create("s1", library.factory(), options.path)) {
        runner.host().destroy(*script);
      }
      runner.host().setLearner(nullptr);
      learner.finish();
      std::vector<std::string> comments = {
          "The installation drez-host learned from the script's start-up and teardown."};
      comments.insert(comments.end(), learner.notes().begin(), learner.notes().end());
      link.send(writeInstallation(runner.installation(), comments));
    }
  } catch (const LibraryError& error) {
    return libraryFailed(error, link);
  } catch (const ScenarioError& error) {
    link.show(OutputLine{LineKind::Diagnostic, std::string("drez-host: ") + error.what(), false});
    return Verdict::BadInput;
  }
  RunSummary summary;
  link.setSummary(summary);
  return Verdict::Passed;
}

}  // namespace

const ChildTask kLibraryTask = {"library", libraryTask};

ExitStatus prepareJob(JobOptions& options, bool learn) {
  std::string installation;
  if (options.installation == "studio-a") {
    installation = dataFileText("studio_a.scn");
  } else if (!options.installation.empty()) {
    const std::string why = fileProblem(options.installation, "installation file");
    if (!why.empty()) return badInput(why);
    try {
      installation = installationFileText(options.installation);
    } catch (const ScenarioError& error) {
      return badInput(error.what());
    }
  }
  const bool learning = learn && options.installation.empty();
  TaskInput input;
  input.subject = learning ? "learn" : "load";
  std::string learned;
  ParentHooks hooks;
  hooks.message = [&learned](const std::string& message) { learned = message; };
  const Outcome outcome = runIsolated(kLibraryTask, options, input.encode(), hooks);
  if (outcome.kind != Outcome::Kind::Finished) {
    std::cout << "drez-host: the panel library " << options.library
              << (learning ? " failed while its script was learned from"
                           : " failed while it was loaded and unloaded");
    printOutcome(std::cout, outcome);
    std::cout << "\n==== " << namesOf(outcome.verdict).heading << ": " << options.library << "\n";
    return exitStatusOf(outcome.verdict);
  }
  if (outcome.verdict != Verdict::Passed) return exitStatusOf(outcome.verdict);
  std::cout << "drez-host: panel library " << options.library << "\n";
  options.installationText = learning ? learned : installation;
  return ExitStatus::Passed;
}

}  // namespace drezhost
