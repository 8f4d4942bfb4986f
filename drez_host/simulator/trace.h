// The numbered trace of a simulated host: every event delivered to a script
// and every command a script sends, in order, one line each, indented by how
// deeply the calls are nested; notes and problems go between them, unnumbered.
//
//     12  device update RIR Tally Infodriver (11) slot 1: "2" (number 2)
//     13    GS 31 101 1 0

#ifndef DREZ_HOST_TRACE_H_
#define DREZ_HOST_TRACE_H_

#include <ostream>
#include <string>

namespace drezhost {

// `text` between double quotes, with line feeds, tabs, backslashes and
// double quotes escaped, so that any text shows on one line.
std::string quoteText(const std::string& text);

class Trace {
 public:
  // Writes to `out`; null writes nothing but still counts.
  explicit Trace(std::ostream* out = nullptr) : out_(out) {}

  void setOutput(std::ostream* out) { out_ = out; }
  // With several scripts alive, lines name the script they concern.
  void setShowScripts(bool show) { show_scripts_ = show; }

  // A numbered entry at nesting `depth` (0: the host's own action); returns
  // its number. `script` is named when setShowScripts is on.
  int entry(int depth, const std::string& script, const std::string& text);
  // An unnumbered line at nesting `depth`.
  void note(int depth, const std::string& text);
  // A free line, not indented (headings, the studio view).
  void print(const std::string& text);

  // The number of the last entry; 0 before the first.
  int last() const { return count_; }

 private:
  std::ostream* out_;
  bool show_scripts_ = false;
  int count_ = 0;
};

}  // namespace drezhost

#endif  // DREZ_HOST_TRACE_H_
