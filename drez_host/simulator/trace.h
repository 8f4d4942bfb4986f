// The numbered trace of a simulated host: every event delivered to a script
// and every command a script sends, in order, one line each, indented by how
// deeply the calls are nested; notes and problems go between them, unnumbered.
//
//     12  device update RIR Tally Infodriver (11) slot 1: "2" (number 2)
//     13    GS 31 101 1 0
//
// Every text a script or a scenario supplied is shown through shownText():
// one line, readable, bounded, whatever bytes it holds.

#ifndef DREZ_HOST_SIMULATOR_TRACE_H_
#define DREZ_HOST_SIMULATOR_TRACE_H_

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace drezhost {

// How many bytes of a text shownText() shows before it cuts the rest.
constexpr std::size_t kShownTextLimit = 400;

// `text` made safe for one line of a terminal or a log: control characters,
// DEL and bytes that are not UTF-8 become escapes (\n, \t, \r, \xNN),
// characters that print as nothing (the byte-order mark, zero-width and
// direction marks, C1 controls, the non-characters U+FFFE and U+FFFF)
// become \u{XXXX}, a backslash becomes \\,
// the rest of valid UTF-8 stays as it is. A text longer than
// kShownTextLimit bytes is cut and ends with "... (<n> bytes)".
std::string shownText(const std::string& text);
// The same, cut after `limit` bytes (reports show whole messages).
std::string shownText(const std::string& text, std::size_t limit);

// shownText() between double quotes, with double quotes inside escaped.
std::string quoteText(const std::string& text);

// The same two appended to `out`, whose room is used again: for texts made
// on every call, where a new string each time is most of their cost.
void appendShown(std::string& out, std::string_view text);
void appendQuoted(std::string& out, std::string_view text);
// `number` in decimal, appended to `out` as std::to_string writes it.
void appendNumber(std::string& out, long long number);

// What a line of the trace is.
enum class TraceLineKind {
  Entry,  // a numbered call or command
  Note,   // an unnumbered line between entries, or a free line
  Debug,  // a line the script wrote on its debug channel
};

class Trace {
 public:
  // Receives each line of the trace as printed, without its line feed.
  using Sink = std::function<void(const std::string& line, TraceLineKind kind)>;

  // Writes to `out`; null writes nothing but still counts.
  explicit Trace(std::ostream* out = nullptr) : out_(out) {}

  void setOutput(std::ostream* out) { out_ = out; }
  // Also hands every line to `sink` (null: none), printed or not.
  void setSink(Sink sink) { sink_ = std::move(sink); }
  // With several scripts alive, lines name the script they concern.
  void setShowScripts(bool show) { show_scripts_ = show; }

  // A numbered entry at nesting `depth` (0: the host's own action); returns
  // its number. `script` is named when setShowScripts is on. `text` is
  // printed as it is: the caller has made it safe.
  int entry(int depth, const std::string& script, const std::string& text);
  // The same with nothing to print (`active()` false): only counted.
  int countEntry() { return ++count_; }
  // An unnumbered line at nesting `depth`.
  void note(int depth, const std::string& text);
  // A line the script wrote on its debug channel, unnumbered, at `depth`.
  void debug(int depth, const std::string& text);
  // A free line, not indented (headings, problems).
  void print(const std::string& text);

  // The number of the last entry; 0 before the first.
  int last() const { return count_; }
  // True when lines go anywhere: callers may skip building them otherwise.
  bool active() const { return out_ != nullptr || sink_ != nullptr; }

 private:
  // Writes one whole line and flushes it, so that it survives a crash.
  void emit(const std::string& line, TraceLineKind kind);

  std::ostream* out_;
  Sink sink_;
  bool show_scripts_ = false;
  int count_ = 0;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_TRACE_H_
