#include "cli/options.h"

#include <CLI/CLI.hpp>

#include "console/line_editor.h"

namespace drezhost {

namespace {

const char kDescription[] =
    "drez-host: the simulated panel host. It loads a panel script library, creates the\n"
    "script, delivers host events to it and checks every command it sends.\n"
    "Manual: drez_host/README.md.";

const char kFooter[] =
    "Reports (--report, more than once): junit=FILE (JUnit XML), tap (TAP on standard\n"
    "output after the run) or tap=FILE, json=FILE.\n"
    "\n"
    "Exit status: 0 every scenario (and check) passed; 1 an expectation failed or the\n"
    "script broke the host contract; 2 bad input (usage, panel library, scenario);\n"
    "3 the script crashed or hung. With several scenarios, the highest of these.";

// --script and --polls, which every job takes.
void addLibraryOptions(CLI::App& app, JobOptions& o) {
  app.add_option("--script", o.script,
                 "the panel library (default: $DREZ_HOST_SCRIPT, else the default panel library "
                 "beside drez-host or in ../lib)")
      ->option_text("PATH");
  app.add_option("--polls", o.polls, "how polls are answered: reentrant (default), queued or off")
      ->transform(CLI::CheckedTransformer(
          std::map<std::string, PollDelivery>{{"reentrant", PollDelivery::Reentrant},
                                              {"queued", PollDelivery::Queued},
                                              {"off", PollDelivery::Off}}))
      ->option_text("MODE");
}

// --installation, which every job takes; `learned` says what none means.
void addInstallationOption(CLI::App& app, JobOptions& o, const char* none) {
  app.add_option("--installation", o.installation,
                 std::string("the installation to start from: a file of installation steps, or "
                             "studio-a (default: ") +
                     none + ")")
      ->option_text("FILE|studio-a");
}

void addCommonOptions(CLI::App& app, JobOptions& o) {
  addLibraryOptions(app, o);
  app.add_option("--timeout", o.timeout,
                 "seconds one call into the script may take before it counts as hung (default 5)")
      ->check(CLI::PositiveNumber)
      ->option_text("SECONDS");
  app.add_flag("!--no-isolate", o.isolate,
               "run the script in drez-host's own process: no crash report, no time-out");
  app.add_flag("--isolate", o.isolate, "run each scenario or check in a child process (default)");
  app.add_option("--max-depth", o.maxDepth,
                 "how deeply calls into scripts may nest before re-entrant delivery stops "
                 "(default 200)")
      ->check(CLI::Range(2, 100000))
      ->option_text("CALLS");
  app.add_option("--max-commands", o.maxCommands,
                 "how many commands one call of the host may take before it counts as a runaway "
                 "loop (default 1000000)")
      ->check(CLI::Range(1, 1000000000))
      ->option_text("COMMANDS");
  app.add_flag("--quiet", o.quiet, "no trace: only problems, failures and results");
}

void addReportOption(CLI::App& app, JobOptions& o);

void addRunOptions(CLI::App& app, CommandLine& line) {
  JobOptions& o = line.options;
  addCommonOptions(app, o);
  addInstallationOption(app, o, "Studio A");
  app.add_option("scenario", o.scenarios,
                 "scenario files to run (none: the demo; -: read lines from the terminal)");
  app.add_flag("-i,--interactive", o.interactive, "read scenario lines from the terminal");
  app.add_flag("--studio", o.showStudio, "draw the studio after every action");
  app.add_flag("--print-demo", line.printDemo, "print the demo's scenario and exit");
  app.add_flag("--fail-fast", o.failFast, "stop at the first scenario that does not pass");
  app.add_option("--record-trace", o.recordTrace,
                 "write the run's normalised trace to FILE (a golden trace)")
      ->option_text("FILE");
  app.add_option("--check-trace", o.checkTrace,
                 "compare the run's normalised trace with FILE; a difference fails the run")
      ->option_text("FILE");
  app.add_flag("--update-traces", o.updateTraces,
               "'expect trace FILE' steps write their file instead of comparing");
  app.add_flag("--coverage", o.coverage,
               "print what each scenario exercised: command codes, callback kinds, slots, "
               "destinations, controls, triggers, expectations never reached");
  addReportOption(app, o);
}

void addReportOption(CLI::App& app, JobOptions& o) {
  app.add_option("--report", o.reports,
                 "write a report (repeatable): junit=FILE, tap, tap=FILE or json=FILE")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->option_text("KIND[=FILE]")
      ->check([](const std::string& report) {
        const std::string kind = report.substr(0, report.find('='));
        const bool file = report.find('=') != std::string::npos && report.size() > kind.size() + 1;
        if ((kind == "junit" || kind == "json") && file) return std::string();
        if (kind == "tap" && (file || report == "tap")) return std::string();
        return "expected junit=FILE, tap, tap=FILE or json=FILE, not '" + report + "'";
      });
}

}  // namespace

bool parseCommandLine(int argc, const char* const* argv, CommandLine* line, std::string* error) {
  JobOptions& o = line->options;
  CLI::App app(kDescription, "drez-host");
  // On Windows CLI11 would read a path such as /work/a.scn as an option.
  app.allow_windows_style_options(false);
  app.footer(std::string(kFooter) + "\n\n" + lineReaderHelp());
  addRunOptions(app, *line);
  CLI::App* run = app.add_subcommand("run", "run scenario files (the default job)");
  addRunOptions(*run, *line);
  CLI::App* validate = app.add_subcommand(
      "validate", "run the named checks on any panel library, each isolated, then the scenarios");
  addCommonOptions(*validate, o);
  addInstallationOption(*validate, o, "learned from the script's own lookups and registrations");
  validate->add_flag("--print-installation", o.printInstallation,
                     "print the installation the checks start from, as installation steps, and "
                     "exit");
  validate->add_option("--path", o.path, "the path text the export is given (default empty)");
  validate->add_option("scenario", o.scenarios, "scenario files to run after the checks");
  validate->add_option("--only", o.only, "run only these checks (see --list-checks)")
      ->expected(1)
      ->allow_extra_args(false)
      ->delimiter(',')
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->option_text("CHECK[,CHECK...]");
  validate->add_flag("--only-failed", o.onlyFailed, "print only the checks that failed");
  validate->add_flag("--list-checks", line->listChecks, "list the checks and exit");
  addReportOption(*validate, o);
  validate->add_flag("--fail-fast", o.failFast, "stop at the first check that fails");
  CLI::App* monkey = app.add_subcommand(
      "monkey", "drive a panel library with random events and check the host contract after each");
  addCommonOptions(*monkey, o);
  addInstallationOption(*monkey, o, "learned from the script's own lookups and registrations");
  monkey->add_flag("--print-installation", o.printInstallation,
                   "print the installation the events start from, as installation steps, and "
                   "exit");
  addReportOption(*monkey, o);
  monkey->add_option("--path", o.path, "the path text the export is given (default empty)");
  monkey->add_option("--seed", o.seed, "the seed of the random events (default 1)");
  monkey->add_option("--events", o.events, "how many events (default 1000)")
      ->check(CLI::Range(1, 100000000));
  CLI::App* replay = app.add_subcommand(
      "replay",
      "play a capture drez_tap made in the studio against a build of the panel, and "
      "show where it differs");
  addCommonOptions(*replay, o);
  replay->add_option("capture", o.capture, "the capture file")->required();
  replay
      ->add_option("--write-scenario", o.writeScenario,
                   "write the capture as a scenario in FILE instead of replaying it")
      ->option_text("FILE");
  addReportOption(*replay, o);
  CLI::App* serve = app.add_subcommand(
      "serve", "the studio as a web page: see and drive the panel script in a browser");
  // In drez-host's own process: the page's "restart" loads the library again.
  addLibraryOptions(*serve, o);
  addInstallationOption(*serve, o, "Studio A, or the set-up lines of the scenario");
  serve
      ->add_option("--timeout", o.timeout,
                   "seconds one call into the script may take before the studio counts as hung "
                   "(default 5)")
      ->check(CLI::PositiveNumber)
      ->option_text("SECONDS");
  serve->add_option("--port", line->serve.port, "the port (default 8080; 0 picks a free one)")
      ->check(CLI::Range(0, 65535))
      ->option_text("N");
  serve
      ->add_option("--listen", line->serve.listen,
                   "the address to listen on (default 127.0.0.1: this machine only; another "
                   "address is warned about)")
      ->check([](const std::string& address) {
        return address.empty() ? std::string("--listen needs an address, not empty text")
                               : std::string();
      })
      ->option_text("ADDR");
  serve
      ->add_option("scenario", o.scenarios,
                   "its set-up lines build the installation (default: Studio A) and its actions "
                   "are played before the page is served")
      ->expected(0, 1);
  app.require_subcommand(0, 1);

  std::vector<std::string> args;  // in reverse order, as CLI11 takes them
  for (int i = argc - 1; i > 0; --i) {
    const std::string arg = argv[i];
    // "--script=" names an empty path; CLI11 would take the next argument.
    if (arg == "--script=") {
      args.emplace_back();
      args.emplace_back("--script");
    } else {
      args.push_back(arg);
    }
  }
  try {
    app.parse(args);
  } catch (const CLI::CallForHelp&) {
    line->help = true;
    line->helpText = app.help();
    return true;
  } catch (const CLI::ExtrasError& failure) {
    const std::string what = failure.what();
    const std::size_t colon = what.find(": ");
    // CLI11 took the arguments in reverse (see above), and lists what it left
    // over so: put them back in the order they were given.
    std::string listed = colon != std::string::npos ? what.substr(colon + 2) : what;
    std::string extra;
    while (!listed.empty()) {
      const std::size_t blank = listed.rfind(' ');
      extra += (extra.empty() ? "" : " ") +
               (blank == std::string::npos ? listed : listed.substr(blank + 1));
      listed.resize(blank == std::string::npos ? 0 : blank);
    }
    *error = !extra.empty() && extra[0] == '-' ? "unknown option '" + extra + "'"
                                               : "unexpected argument: " + extra;
    return false;
  } catch (const CLI::ParseError& failure) {
    *error = failure.what();
    return false;
  }
  if (validate->parsed()) line->job = Job::Validate;
  if (monkey->parsed()) line->job = Job::Monkey;
  if (replay->parsed()) line->job = Job::Replay;
  if (serve->parsed()) {
    line->job = Job::Serve;
    line->serve.script = o.script;
    line->serve.polls = o.polls;
    line->serve.installation = o.installation;
    line->serve.timeout = o.timeout;
    if (!o.scenarios.empty()) line->serve.scenario = o.scenarios[0];
  }
  if (o.scenarios.size() == 1 && o.scenarios[0] == "-") {
    o.interactive = true;
    o.scenarios.clear();
  }
  if (o.interactive && !o.scenarios.empty()) {
    *error = "-i reads the terminal; it takes no scenario file";
    return false;
  }
  if (std::count(o.scenarios.begin(), o.scenarios.end(), std::string("-")) != 0) {
    *error = "'-' (the terminal) cannot stand beside scenario files";
    return false;
  }
  return true;
}

}  // namespace drezhost
