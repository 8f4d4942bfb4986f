#include <charconv>
#include <vector>

#include "serve.h"

namespace drezhost {

const char kServeUsage[] =
    "usage: drez-host serve [--port N] [--listen ADDR] [--script LIB] [--polls MODE] [SCENARIO]\n"
    "Serves the studio as a web page: see and drive a panel script in a browser.\n"
    "\n"
    "  SCENARIO          its set-up lines build the installation (default: Studio A)\n"
    "                    and its actions are played before the page is served\n"
    "  --port N          the port (default 8080; 0 picks a free one)\n"
    "  --listen ADDR     the address to listen on (default 127.0.0.1, this machine only)\n"
    "  --script LIB      the panel library (default: as for drez-host)\n"
    "  --polls MODE      answer polls reentrant (default), queued or off\n"
    "  -h, --help        print this text and exit\n"
    "\n"
    "The address to open is printed on one line. Ctrl-C deletes the script and\n"
    "exits: 0 passed, 1 an expectation failed or the script broke the host\n"
    "contract, 2 bad input.\n";

bool parseServeOptions(int argc, const char* const* argv, ServeOptions* options,
                       std::string* error) {
  std::vector<const char*> common = {argv[0]};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool ours = arg == "--port" || arg == "--listen";
    if (!ours) {
      if (arg == "-i" || arg == "--interactive" || arg == "-" || arg == "--studio" ||
          arg == "--quiet" || arg == "--print-demo") {
        *error = "serve does not take '" + arg + "'";
        return false;
      }
      common.push_back(argv[i]);
      continue;
    }
    if (i + 1 >= argc) {
      *error = arg + " needs a value";
      return false;
    }
    const std::string text = argv[++i];
    if (arg == "--listen") {
      if (text.empty()) {
        *error = "--listen needs an address, not empty text";
        return false;
      }
      options->listen = text;
      options->listenGiven = true;
      continue;
    }
    int port = -1;
    auto result = std::from_chars(text.data(), text.data() + text.size(), port);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
        port < 0 || port > 65535) {
      *error = "--port takes a number from 0 to 65535, not '" + text + "'";
      return false;
    }
    options->port = port;
  }
  return parseOptions(static_cast<int>(common.size()), common.data(), &options->common, error);
}

}  // namespace drezhost
