// What every task does in its child process: the panel library loaded and
// unloaded there, with the watchdog timing both, and a runner over it wired
// to the parent.

#ifndef DREZ_HOST_ISOLATION_CHILD_RUN_H_
#define DREZ_HOST_ISOLATION_CHILD_RUN_H_

#include <memory>
#include <string>

#include "isolation/isolation.h"
#include "isolation/task.h"
#include "runner/runner.h"
#include "simulator/script_library.h"

namespace drezhost {

// The panel library, loaded in the child for as long as this lives.
class LoadedLibrary {
 public:
  // Throws LibraryError when it does not load or lacks the export.
  LoadedLibrary(const std::string& path, ChildLink& link);
  // The same; null, with drez-host's message shown and the summary set
  // (bad input), when it does not load.
  static std::unique_ptr<LoadedLibrary> open(const std::string& path, ChildLink& link);
  ~LoadedLibrary();
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  ScriptFactory factory() const;
  const std::string& path() const { return library_->path(); }

 private:
  ChildLink& link_;
  std::unique_ptr<ScriptLibrary> library_;
};

// The runner's options for a task: the settings' limits and installation.
// `quiet` runs show no trace.
RunOptions runOptionsFor(const TaskSettings& settings, bool quiet);

// Tells the runner's host how to deliver polls and hands its calls,
// commands and the script's debug lines to `link`.
void wire(ScenarioRunner& runner, const TaskSettings& settings, ChildLink& link);

// A library that did not load: drez-host's message, and the verdict.
Verdict libraryFailed(const LibraryError& error, ChildLink& link);

}  // namespace drezhost

#endif  // DREZ_HOST_ISOLATION_CHILD_RUN_H_
