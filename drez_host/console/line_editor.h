// The lines of an interactive run (drez-host -i), as a person types them.
//
// The run happens in the child process, which asks the parent for each line
// (ChildLink::ask); the parent reads it from the terminal. The child's
// question is a LineQuestion: the prompt, and the names of the live
// installation that a line can name, so that the parent can complete them.
// It crosses as one of the child's messages (isolation/child_messages.h).
//
// The parent reads with libedit where the build has it (the macro
// DREZ_HOST_LINE_EDITOR) and standard input and output are a terminal:
// line editing, the user's ~/.editrc, history kept in ~/.drez_host_history,
// and Tab completion (completion.h) of the step words and operands (from the
// step table) and of the names the question carries. libedit is Debian's libedit-dev, BSD-licensed,
// with the histedit interface, which gives the completion function the line itself (to replace the
// word being typed and redraw) and keeps the terminal right across Ctrl-Z and window changes;
// replxx, the other candidate, is not packaged by Debian 12. Elsewhere (input from a file or a
// pipe, or a build without libedit: Windows, -m32) lines are read plainly, as before.
//
// Ctrl-C cancels the line being typed and reads the next; Ctrl-D on an empty
// line ends the input (the child then deletes the scripts and prints the
// result).
//
// Threading: the parent's one thread.

#ifndef DREZ_HOST_CONSOLE_LINE_EDITOR_H_
#define DREZ_HOST_CONSOLE_LINE_EDITOR_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "simulator/installation.h"

namespace drezhost {

class ScenarioRunner;

// What the child sends with each line it asks for.
struct LineQuestion {
  struct DeviceEntry {
    std::string name;
    DeviceKind kind = DeviceKind::Infodriver;
    int32_t number = 0;
    int32_t offset = 0;
    // Infodriver: slots 1..size; router: destinations 1..size; output
    // device: the outputs offset..offset+size-1 its view shows.
    int32_t size = 0;
  };
  struct PanelFileEntry {
    std::string file;
    std::vector<std::string> controls;
  };
  struct PanelEntry {
    std::string id;
    std::string file;
    std::vector<std::string> controls;
  };

  std::string prompt;
  // The phrase of the step whose block is open ("on", "expect commands");
  // empty outside a block.
  std::string block;
  std::vector<DeviceEntry> devices;
  std::vector<PanelFileEntry> panelFiles;
  std::vector<PanelEntry> panels;    // loaded by the scripts
  std::vector<std::string> scripts;  // alive, oldest first
};

// The question for the next line of `runner`'s run, prompting `prompt`;
// `block` as in LineQuestion.
LineQuestion questionFor(ScenarioRunner& runner, const std::string& prompt,
                         const std::string& block);

// How many lines the history file keeps, at most.
constexpr std::size_t kHistoryLines = 1000;
// The longest line the history keeps.
constexpr std::size_t kHistoryLineBytes = 4096;

// While one is alive, SIGINT (Ctrl-C) sets a flag instead of ending
// drez-host; the one before is back when it goes. They nest. Nothing on
// Windows.
class InterruptCatch {
 public:
  // Interrupt: a read in progress returns (a line being typed is
  // cancelled). Restart: reads and writes go on as if nothing came.
  enum class Reads { Interrupt, Restart };
  explicit InterruptCatch(Reads reads);
  ~InterruptCatch();
  InterruptCatch(const InterruptCatch&) = delete;
  InterruptCatch& operator=(const InterruptCatch&) = delete;
  // True when SIGINT arrived since the last call.
  static bool take();

 private:
  struct Previous;
  std::unique_ptr<Previous> previous_;
};

// Reads plainly from standard input: prints `prompt`, reads a line; nothing
// at the end of the input. Ctrl-C at a terminal cancels the line.
std::optional<std::string> readPlainLine(const std::string& prompt);

// Reads the lines of one interactive run in the parent. Open it in the
// process that reads (after the child is started): it owns the terminal
// settings and the history file while it lives.
class LineReader {
 public:
  virtual ~LineReader() = default;
  // The next line, without its line end; nothing at the end of the input.
  virtual std::optional<std::string> read(const LineQuestion& question) = 0;

  // The editor when the build has one and standard input and output are a
  // terminal; the plain reader otherwise.
  static std::unique_ptr<LineReader> open();
};

// The plain reader: readPlainLine with each question's prompt.
std::unique_ptr<LineReader> plainLineReader();

// The history file: $HOME/.drez_host_history; empty when HOME is not set.
std::string historyPath();

// One line for --help: which line reader an interactive run uses.
std::string lineReaderHelp();

}  // namespace drezhost

#endif  // DREZ_HOST_CONSOLE_LINE_EDITOR_H_
