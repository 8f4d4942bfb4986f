#include "isolation/child_run.h"

#include <stdexcept>

#include "scenario/installation_file.h"

namespace drezhost {

namespace {

void putText(std::string& out, const std::string& text) {
  out += std::to_string(text.size()) + ":" + text;
}

std::string takeText(const std::string& payload, std::size_t& at) {
  const std::size_t colon = payload.find(':', at);
  if (colon == std::string::npos) throw std::invalid_argument("a task's input is cut short");
  const std::size_t length = std::stoul(payload.substr(at, colon - at));
  if (colon + 1 + length > payload.size()) {
    throw std::invalid_argument("a task's input is cut short");
  }
  at = colon + 1 + length;
  return payload.substr(colon + 1, length);
}

}  // namespace

std::string TaskInput::encode() const {
  std::string payload;
  putText(payload, installation);
  putText(payload, subject);
  putText(payload, std::to_string(items.size()));
  for (const std::string& item : items) putText(payload, item);
  return payload;
}

TaskInput TaskInput::decode(const std::string& payload) {
  TaskInput input;
  if (payload.empty()) return input;
  std::size_t at = 0;
  input.installation = takeText(payload, at);
  input.subject = takeText(payload, at);
  const std::size_t count = std::stoul(takeText(payload, at));
  for (std::size_t i = 0; i < count; ++i) input.items.push_back(takeText(payload, at));
  return input;
}

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

RunOptions runOptionsFor(const JobOptions& options, const TaskInput& input, bool quiet) {
  RunOptions run;
  run.maxDepth = options.maxDepth;
  run.maxCommands = options.maxCommands;
  if (quiet) {
    run.showTrace = false;
    run.keepActionTrace = false;
  }
  if (!input.installation.empty()) {
    run.installation =
        std::make_shared<const Installation>(readInstallation(input.installation, "installation"));
  }
  return run;
}

void wire(ScenarioRunner& runner, const JobOptions& options, ChildLink& link) {
  runner.host().setPollDelivery(options.polls);
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
