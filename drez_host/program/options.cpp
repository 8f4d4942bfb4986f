#include "options.h"

namespace drezhost {

const char kUsage[] =
    "usage: drez-host [options] [SCENARIO]\n"
    "Simulates a panel host: loads a panel script library, creates the script,\n"
    "delivers host events to it and checks every command it sends.\n"
    "\n"
    "  (no SCENARIO)        play the built-in demo with the Vantrel panel\n"
    "  SCENARIO             run a scenario file (language: drez_host/README.md)\n"
    "  -, -i, --interactive read scenario lines from the terminal\n"
    "  --script PATH        the panel library (default: $DREZ_HOST_SCRIPT, else the\n"
    "                       default panel library beside drez-host or in ../lib)\n"
    "  --polls MODE         answer polls reentrant (default), queued or off\n"
    "  --studio             show the studio after every action\n"
    "  --quiet              no trace: only failures and the result\n"
    "  --print-demo         print the demo's scenario and exit\n"
    "  -h, --help           print this text and exit\n"
    "  serve ...            the studio as a web page (drez-host serve --help)\n"
    "\n"
    "Exit status: 0 passed; 1 an expectation failed or the script broke the host\n"
    "contract; 2 bad input (usage, panel library, scenario).\n";

bool parseOptions(int argc, const char* const* argv, Options* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* into) {
      if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return false;
      }
      *into = argv[++i];
      return true;
    };
    if (arg == "-h" || arg == "--help") {
      options->help = true;
    } else if (arg == "-i" || arg == "--interactive") {
      options->interactive = true;
    } else if (arg == "--studio") {
      options->showStudio = true;
    } else if (arg == "--quiet") {
      options->quiet = true;
    } else if (arg == "--print-demo") {
      options->printDemo = true;
    } else if (arg == "--script") {
      std::string path;
      if (!value(&path)) return false;
      options->script = path;
    } else if (arg == "--polls") {
      std::string mode;
      if (!value(&mode)) return false;
      if (mode == "reentrant") {
        options->polls = PollDelivery::Reentrant;
      } else if (mode == "queued") {
        options->polls = PollDelivery::Queued;
      } else if (mode == "off") {
        options->polls = PollDelivery::Off;
      } else {
        *error = "--polls takes reentrant, queued or off, not '" + mode + "'";
        return false;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option '" + arg + "'";
      return false;
    } else if (!options->scenario.empty()) {
      *error = "more than one scenario: '" + options->scenario + "' and '" + arg + "'";
      return false;
    } else {
      options->scenario = arg;
    }
  }
  if (options->scenario == "-") options->interactive = true;
  if (options->interactive && !options->scenario.empty() && options->scenario != "-") {
    *error = "-i reads the terminal; it takes no scenario file";
    return false;
  }
  return true;
}

}  // namespace drezhost
