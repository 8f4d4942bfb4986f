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

// How a configuration file's bytes were read.
enum class ConfigEncoding {
  kUtf8,     // UTF-8 (or ASCII), with or without a byte order mark
  kUtf16Le,  // UTF-16 after its byte order mark, FF FE (Notepad's "Unicode")
  kUtf16Be,  // UTF-16 after its byte order mark, FE FF
  kLegacy,   // none of those: the ANSI code page's, which the platform reads
};

struct DecodedConfig {
  std::string text;  // UTF-8, byte order mark left out; kLegacy: the bytes as read
  ConfigEncoding encoding;
};

// The text of a configuration file's bytes. Anything not UTF-16 with its
// byte order mark that is not valid UTF-8 is kLegacy, for the platform to
// read in its ANSI code page (tap_platform.h).
DecodedConfig decodeConfigText(const std::string& bytes);

// What `encoding` is called in a line: "UTF-16 (little-endian)".
const char* encodingName(ConfigEncoding encoding);

// Reads the text (UTF-8) of a configuration file named `name` (for the
// problems). Takes LF and CRLF line ends.
TapConfig parseTapConfig(const std::string& text, const std::string& name);

// `pattern` with %p, %t and %% replaced; any other '%' stays.
std::string expandCaptureName(const std::string& pattern, uint64_t processId,
                              const std::string& startTime);

}  // namespace dreztap

#endif  // DREZ_TAP_TAP_CONFIG_H_
