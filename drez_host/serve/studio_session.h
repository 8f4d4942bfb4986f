// One studio served to a page: the panel library, the scenario runner with
// its installation and scripts, the trace it printed, and the session: every
// scenario line run so far, which saved as a file replays with drez-host.
//
// Every change goes through the scenario language: a line from the page is
// read by the same ScenarioParser and run by the same ScenarioRunner as a
// scenario file, and "restart" is recorded as the "delete" and "create"
// lines it runs.
//
// It lives in the studio's child process (studio_task.h), where the panel
// library is loaded through `link`, which times its loading and unloading
// and shows every line; the page reaches it through the parent.
//
// Threading: none of it is synchronised. It calls into the panel script, so
// every member function runs on the host's thread, and so does the
// destructor. The thread that constructs it is taken for the host's;
// step, restart, state and sessionText called from another one throw
// std::logic_error instead of reaching the script.

#ifndef DREZ_HOST_SERVE_STUDIO_SESSION_H_
#define DREZ_HOST_SERVE_STUDIO_SESSION_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "isolation/child_run.h"
#include "isolation/isolation.h"
#include "isolation/task.h"
#include "runner/output.h"
#include "runner/runner.h"
#include "scenario/parser.h"
#include "scenario/steps.h"
#include "simulator/script_library.h"

namespace drezhost {

struct TraceLine {
  int64_t number = 0;  // counts every line the session printed, from 1
  std::string text;
  LineKind kind = LineKind::Trace;
};

class StudioSession {
 public:
  // The trace lines the page gets; older ones drop out.
  static constexpr std::size_t kTraceKept = 400;

  // Loads the settings' panel library (throws LibraryError) over their
  // installation (installation steps; empty: Studio A), polls answered and
  // calls limited as they say. Every line is shown through `link` as it
  // comes; the link must outlive the session.
  StudioSession(const TaskSettings& settings, ChildLink& link);
  StudioSession(const StudioSession&) = delete;
  StudioSession& operator=(const StudioSession&) = delete;

  // Plays a scenario file's text, named `file` in messages (and whose
  // folder the files it includes are found from): its set-up lines build
  // the installation, and when it creates no script itself, "create" runs
  // before its first action (or at its end). The session records the steps
  // of the files it includes in their place. Throws ScenarioError for a line
  // that does not parse or cannot run, or a file that cannot be included.
  void start(const std::string& text, const std::string& file);

  // Runs one scenario line and returns the trace lines it printed (none for
  // a blank line, a comment or a line inside a block). Throws ScenarioError
  // for a line that does not parse or cannot run (an unknown device, control
  // or script), and for "include": the page reaches no file. Nothing is run
  // or recorded then, and an open block is dropped.
  std::vector<TraceLine> step(const std::string& line);

  // Deletes every script, unloads the panel library, loads it again from
  // the same path and creates the scripts again under their names: a rebuilt
  // panel is picked up. Returns the trace lines. Throws LibraryError when
  // the library no longer loads; the studio then has no script, and
  // "create" steps are refused until a restart succeeds.
  std::vector<TraceLine> restart();

  // The session as a scenario file: a comment header, then every line run.
  std::string sessionText() const;
  // The whole studio for the page (state_json.h) with the trace, the
  // session lines, the counts of contract failures and `version`, which
  // grows with every change.
  nlohmann::json state();
  int64_t version() const { return version_; }
  // The reply to the last request.
  const std::optional<std::string>& lastReply() const { return runner_.lastReply(); }
  // True while a block ("expect commands", "on") waits for its "end".
  bool inBlock() const { return parser_.inBlock(); }

  // Deletes the scripts still alive (their teardown is traced and checked)
  // and prints the verdict: passed when every expectation held and the
  // scripts broke no rule.
  Verdict finish();

 private:
  // Runs a parsed step and records `lines` (its text as written), keeping
  // the trace it printed. Throws ScenarioError.
  std::vector<TraceLine> run(const Step& step, const std::vector<std::string>& lines);
  // The lines the runner made since the last take, numbered and kept.
  std::vector<TraceLine> take();
  // A fresh parser that has read the recorded lines: line numbers go on.
  void reparse();
  drez_client_callback* createScript(drez_client_host* host, const char* path);
  void onHostThread() const;

  std::thread::id hostThread_ = std::this_thread::get_id();
  std::string libraryPath_;
  ChildLink& link_;
  std::unique_ptr<LoadedLibrary> library_;
  std::vector<OutputLine> output_;  // what the runner made for the step
  ScenarioRunner runner_;
  ScenarioParser parser_;
  std::vector<std::string> recorded_;  // the session's lines
  std::vector<std::string> pending_;   // lines of a block not closed yet
  std::deque<TraceLine> trace_;
  int64_t printed_ = 0;
  int64_t version_ = 1;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SERVE_STUDIO_SESSION_H_
