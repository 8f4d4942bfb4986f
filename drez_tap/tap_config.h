// The tap's configuration: the `key=value` lines of the .tap.ini file beside
// the tap's own library file.
//
//   script=Vantrel.real.dll       the real panel library: absolute, or
//                                 relative to the tap's folder
//   capture=capture-%p-%t.txt     the capture file, likewise; %p is the
//                                 process id, %t the start time
//                                 (20261208-142501), %% a '%'
//   max_bytes=268435456           where recording stops (default 256 MiB)
//
// Blanks around keys and values, blank lines and lines starting with '#'
// are fine. Any other line, a value that is not what its key needs and a key
// given twice are problems: reported, and otherwise ignored (the later of
// two values counts).

#ifndef DREZ_TAP_TAP_CONFIG_H_
#define DREZ_TAP_TAP_CONFIG_H_

#include <cstdint>
#include <string>
#include <vector>

namespace dreztap {

constexpr uint64_t kDefaultMaxBytes = uint64_t{256} * 1024 * 1024;

struct TapConfig {
  std::string script;   // as written; empty when not given
  std::string capture;  // as written; empty when not given
  uint64_t maxBytes = kDefaultMaxBytes;
  // One debug line per problem, without the "drez_tap: " prefix:
  //   "<name>:<line>: ignored 'text' (not script=, capture= or max_bytes=)"
  std::vector<std::string> problems;
};

// Reads the text of a configuration file named `name` (for the problems).
// Takes LF and CRLF line ends and a UTF-8 byte order mark.
TapConfig parseTapConfig(const std::string& text, const std::string& name);

// `pattern` with %p, %t and %% replaced; any other '%' stays.
std::string expandCaptureName(const std::string& pattern, uint64_t processId,
                              const std::string& startTime);

}  // namespace dreztap

#endif  // DREZ_TAP_TAP_CONFIG_H_
