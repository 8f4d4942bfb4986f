// What a run prints, as typed lines: each line says what kind of line it is,
// so that the terminal, the web page and a parent process each show it their
// own way, and nothing reads printed text back to find out what it was.

#ifndef DREZ_HOST_RUNNER_OUTPUT_H_
#define DREZ_HOST_RUNNER_OUTPUT_H_

#include <functional>
#include <ostream>
#include <string>

namespace drezhost {

enum class LineKind {
  Step,        // ">> " the scenario line being run
  Trace,       // a numbered entry of the trace, or a note between entries
  Debug,       // a line the script wrote on its debug channel
  Error,       // a contract error the host reported
  Warning,     // a warning the host reported
  Failure,     // a failed expectation, or a change that could not be made
  Heading,     // "==== " a heading of the scenario ("say")
  View,        // the studio drawn, the help text, the coverage report
  Note,        // anything else the run says ("wrote <file>")
  Diagnostic,  // drez-host's own message ("drez-host: ..."), for standard error
  Result,      // the verdict and the summary at the end
};

// "step", "trace", "debug", "error", "warning", "failure", "heading",
// "view", "note", "diagnostic" or "result".
const char* lineKindName(LineKind kind);

struct OutputLine {
  LineKind kind = LineKind::Trace;
  std::string text;  // one line, without a line feed; already safe to show
  // A terminal leaves an empty line above it (steps, headings, the result).
  bool spaced = false;
};

// Receives each line as it is made, on the thread of the run.
using OutputSink = std::function<void(const OutputLine& line)>;

// Writes `line` for a person: an empty line first when it is spaced, then
// its text and a line feed, flushed, so that it survives a crash.
void printLine(std::ostream& out, const OutputLine& line);

// Hands each line of `text` (several lines, each ending in a line feed) to
// `sink` as a line of `kind`; the first is spaced when `spaced`.
void emitLines(const OutputSink& sink, LineKind kind, const std::string& text, bool spaced = false);

}  // namespace drezhost

#endif  // DREZ_HOST_RUNNER_OUTPUT_H_
