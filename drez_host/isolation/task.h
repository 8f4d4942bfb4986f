// What a child process is told to do: one task, and the settings every task
// shares. Plain data only: a forked child takes it as it is, and a child
// started as a new process (Windows) reads it back from the codec
// (isolation/codec.h), so that nothing of the parent's command line is read
// a second time.
//
// The work each task means lives in the rooms above this one (jobs/, serve/);
// the program installs the one function that runs a task (setTaskWork in
// isolation.h), so that this room names no job.

#ifndef DREZ_HOST_ISOLATION_TASK_H_
#define DREZ_HOST_ISOLATION_TASK_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "simulator/simulated_host.h"

namespace drezhost {

// What every task needs besides its own data.
struct TaskSettings {
  std::string library;       // the panel library's path, as the job settled it
  std::string installation;  // installation steps the runs start from; empty: Studio A
  PollDelivery polls = PollDelivery::Reentrant;
  int maxDepth = SimulatedHost::kDefaultMaxDepth;
  std::size_t maxCommands = SimulatedHost::kDefaultMaxCommands;
};

namespace tasks {

// Loads the library and unloads it again; with `learn`, creates and deletes
// one script in an empty studio first and sends back the installation it
// reached (messages::LearnedInstallation).
struct LibraryProbe {
  bool learn = false;
  std::string path;  // the export's path argument
};

// One scenario: a file, the demo, or the lines typed at the parent's
// terminal (each asked for with a LineQuestion).
struct Scenario {
  enum class Source { File, Demo, Terminal };
  Source source = Source::Demo;
  std::string file;  // Source::File: its path
  bool quiet = false;
  bool showStudio = false;
  bool coverage = false;
  bool updateTraces = false;
  std::string recordTrace;  // a golden trace file to append the run's section to
  std::string checkTrace;   // a golden trace file to compare the run with
};

// One validate check, by name.
struct Check {
  std::string name;
  std::string path;  // the export's path argument
  // The installation was learned from the script: what it addresses during
  // the check is learned too, and reached.
  bool learn = false;
  bool trace = false;  // the check's calls and commands shown, as a scenario's
};

// Monkey's random events, or, with `again`, those events played again (a
// replay of the shortening).
struct Monkey {
  std::uint64_t seed = 1;
  int events = 1000;
  std::string path;  // the export's path argument
  std::optional<std::vector<std::string>> again;
  // The installation was learned from the script: what it addresses during
  // the run is learned too, drawn on by later events, and the installation
  // reached at the end is sent back (messages::LearnedInstallation).
  bool learn = false;
};

// A capture from the studio, played against the library.
struct Replay {
  std::string capture;
  bool quiet = false;
};

// drez-host serve's studio: the scenario it starts from, then the page's
// requests, one at a time.
struct Studio {
  std::string scenarioText;
  std::string scenarioName;  // in messages: the file, or "studio"
};

}  // namespace tasks

// Everything a child process can do.
using Task = std::variant<tasks::LibraryProbe, tasks::Scenario, tasks::Check, tasks::Monkey,
                          tasks::Replay, tasks::Studio>;

// A task with its settings: what crosses to the child.
struct TaskOrder {
  TaskSettings settings;
  Task task;
};

}  // namespace drezhost

#endif  // DREZ_HOST_ISOLATION_TASK_H_
