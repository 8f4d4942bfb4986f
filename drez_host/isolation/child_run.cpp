#include "isolation/child_run.h"

#include "scenario/installation_file.h"

namespace drezhost {

LoadedLibrary::LoadedLibrary(const std::string& path, ChildLink& link) : link_(link) {
  link_.beginCall("load the panel library " + path);
  try {
    library_ = std::make_unique<ScriptLibrary>(path);
  } catch (...) {
    link_.endCall();
    throw;
  }
  link_.endCall();
}

std::unique_ptr<LoadedLibrary> LoadedLibrary::open(const std::string& path, ChildLink& link) {
  try {
    return std::make_unique<LoadedLibrary>(path, link);
  } catch (const LibraryError& error) {
    libraryFailed(error, link);
    return nullptr;
  }
}

LoadedLibrary::~LoadedLibrary() {
  link_.beginCall("unload the panel library");
  library_.reset();
  link_.endCall();
}

ScriptFactory LoadedLibrary::factory() const { return library_->entry(); }

RunOptions runOptionsFor(const TaskSettings& settings, bool quiet) {
  RunOptions run;
  run.maxDepth = settings.maxDepth;
  run.maxCommands = settings.maxCommands;
  if (quiet) {
    run.showTrace = false;
    run.keepActionTrace = false;
  }
  if (!settings.installation.empty()) {
    run.installation = std::make_shared<const Installation>(
        readInstallation(settings.installation, "installation"));
  }
  return run;
}

void wire(ScenarioRunner& runner, const TaskSettings& settings, ChildLink& link) {
  runner.host().setPollDelivery(settings.polls);
  runner.host().addObserver(&link);
  runner.host().setDebugChannel(link.debugChannel());
}

Verdict libraryFailed(const LibraryError& error, ChildLink& link) {
  link.show(OutputLine{LineKind::Diagnostic, std::string("drez-host: ") + error.what(), false});
  RunSummary summary;
  summary.verdict = Verdict::BadInput;
  summary.messages.push_back(error.what());
  link.setSummary(summary);
  return Verdict::BadInput;
}

}  // namespace drezhost
