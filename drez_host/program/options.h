// The command line of drez-host.

#ifndef DREZ_HOST_PROGRAM_OPTIONS_H_
#define DREZ_HOST_PROGRAM_OPTIONS_H_

#include <optional>
#include <string>

#include "simulated_host.h"

namespace drezhost {

struct Options {
  std::optional<std::string> script;  // --script; none: panel_library.h's rule
  std::string scenario;               // empty: the demo; "-": the terminal
  bool interactive = false;
  bool showStudio = false;
  bool quiet = false;
  bool printDemo = false;
  bool help = false;
  PollDelivery polls = PollDelivery::Reentrant;
};

// Reads the arguments after the program name. False, with `*error` set,
// when they do not fit the usage.
bool parseOptions(int argc, const char* const* argv, Options* options, std::string* error);

extern const char kUsage[];

}  // namespace drezhost

#endif  // DREZ_HOST_PROGRAM_OPTIONS_H_
