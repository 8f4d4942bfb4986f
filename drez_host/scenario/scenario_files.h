// Scenario and installation files on disk: whether a file can be read, the
// steps of the file an "include" step names, and whether a scenario (with
// the files it includes) holds an "expect trace" step.
//
// An included file's path is relative to the folder of the file that
// includes it. Its steps carry where they were included (Step::includedFrom),
// so that every message names the file, the line and the chain of files
// that led there. A file that would include itself, directly or through
// others, is refused with that chain.

#ifndef DREZ_HOST_SCENARIO_SCENARIO_FILES_H_
#define DREZ_HOST_SCENARIO_SCENARIO_FILES_H_

#include <fstream>
#include <optional>
#include <string>

#include "scenario/parser.h"
#include "scenario/steps.h"

namespace drezhost {

// Why `path` cannot be read as a `what` ("scenario file", "installation
// file"), or empty text: it does not exist, is a directory, is no regular
// file (a pipe or a device would be read for ever), or cannot be opened.
std::string fileProblem(const std::string& path, const std::string& what);

// The steps of the file an "include" step names, read one at a time as its
// lines come, so that an included file of any length takes bounded memory
// and the steps before a bad line run before it is found.
class IncludedFile {
 public:
  // How deeply files may include files.
  static constexpr int kDepthLimit = 32;

  // Opens the file that `include`, the body of `step`, names. Throws
  // ScenarioError at `step` when its name holds a control character, when
  // fileProblem finds a problem with it, when it is `step`'s own file or one
  // of those that include it (the chain named, file by file), or when
  // includes nest deeper than kDepthLimit.
  IncludedFile(const Step& step, const steps::Include& include);
  // It reads its own stream through `lines_`: neither copied nor moved.
  IncludedFile(const IncludedFile&) = delete;
  IncludedFile& operator=(const IncludedFile&) = delete;

  // The file as messages name it: the including file's folder, then the
  // path the step gives.
  const std::string& path() const { return path_; }

  // The next step of the file; nothing at its end. Throws ScenarioError for
  // a line that does not parse, a line too long or a block without "end",
  // with the file, the line and the chain.
  std::optional<Step> next();

 private:
  std::string path_;
  std::ifstream in_;
  ScenarioLines lines_{in_};
  ScenarioParser parser_;
  bool ended_ = false;
};

// What the steps of a scenario file, and of the files it includes, read of
// an action besides the studio. A run keeps only what is read: building
// each action's trace, and keeping the texts of its commands, cost most of
// a quiet run's time.
struct ActionReads {
  bool trace = false;     // "expect trace"
  bool commands = false;  // "expect commands", "expect no commands", "expect sent"
};
// What the scenario file `path` reads; everything when it (or a file it
// includes) cannot be read: the run says why. Lines that do not parse and
// includes that cannot be followed are passed over: the run reports them.
ActionReads actionReads(const std::string& path);

}  // namespace drezhost

#endif  // DREZ_HOST_SCENARIO_SCENARIO_FILES_H_
