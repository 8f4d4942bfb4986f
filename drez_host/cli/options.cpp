#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <map>
#include <string>

#include "console/line_editor.h"
#include "console/terminal.h"

#if defined(DREZ_HOST_SERVE)
#include "serve/serve.h"
#endif

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
void addLibraryOptions(CLI::App& app, std::optional<std::string>& script, PollDelivery& polls) {
  app.add_option("--script", script,
                 "the panel library (default: $DREZ_HOST_SCRIPT, else the default panel library "
                 "beside drez-host or in ../lib)")
      ->option_text("PATH");
  app.add_option("--polls", polls, "how polls are answered: reentrant (default), queued or off")
      ->transform(CLI::CheckedTransformer(
          std::map<std::string, PollDelivery>{{"reentrant", PollDelivery::Reentrant},
                                              {"queued", PollDelivery::Queued},
                                              {"off", PollDelivery::Off}}))
      ->option_text("MODE");
}

// --installation, which every job takes; `none` says what none means.
void addInstallationOption(CLI::App& app, std::string& installation, const char* none) {
  app.add_option("--installation", installation,
                 std::string("the installation to start from: a file of installation steps, or "
                             "studio-a (default: ") +
                     none + ")")
      ->option_text("FILE|studio-a");
}

void addTimeoutOption(CLI::App& app, double& timeout, const char* what) {
  app.add_option("--timeout", timeout,
                 std::string("seconds one call into the script may take before ") + what +
                     " counts as hung (default 5)")
      ->check(CLI::PositiveNumber)
      ->option_text("SECONDS");
}

void addCommonOptions(CLI::App& app, CommonOptions& o) {
  addLibraryOptions(app, o.script, o.polls);
  addTimeoutOption(app, o.isolation.timeout, "it");
  app.add_flag("!--no-isolate", o.isolation.isolate,
               "run the script in drez-host's own process: no crash report, no time-out");
  app.add_flag("--isolate", o.isolation.isolate,
               "run each scenario or check in a child process (default)");
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

void addReportOption(CLI::App& app, std::vector<std::string>& reports) {
  app.add_option("--report", reports,
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

void addPathOption(CLI::App& app, std::string& path) {
  app.add_option("--path", path, "the path text the export is given (default empty)");
}

void addPrintInstallation(CLI::App& app, bool& print, const char* what) {
  app.add_flag("--print-installation", print,
               std::string("print the installation the ") + what +
                   " start from, as installation steps (on standard output, nothing else), and "
                   "exit");
}

void runOptions(CLI::App& app, CommandLine& line) {
  RunJobOptions& o = line.run;
  addCommonOptions(app, line.common);
  addInstallationOption(app, line.common.installation, "Studio A");
  app.add_option("scenario", o.scenarios,
                 "scenario files to run (none: the demo; -: read lines from the terminal)");
  app.add_flag("-i,--interactive", o.interactive, "read scenario lines from the terminal");
  app.add_flag("--studio", o.showStudio, "draw the studio after every action");
  app.add_flag("--print-demo", o.printDemo, "print the demo's scenario and exit");
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
  addReportOption(app, o.reports);
  // "-" alone is the terminal; beside files, or with -i and files, it fits no run.
  app.callback([&o] {
    if (o.scenarios.size() == 1 && o.scenarios[0] == "-") {
      o.interactive = true;
      o.scenarios.clear();
    }
    if (o.interactive && !o.scenarios.empty()) {
      throw CLI::ValidationError("-i reads the terminal; it takes no scenario file");
    }
    if (std::count(o.scenarios.begin(), o.scenarios.end(), std::string("-")) != 0) {
      throw CLI::ValidationError("'-' (the terminal) cannot stand beside scenario files");
    }
  });
}

void validateOptions(CLI::App& app, CommandLine& line) {
  ValidateOptions& o = line.validate;
  addCommonOptions(app, line.common);
  addInstallationOption(app, line.common.installation,
                        "learned from the script's own lookups and registrations");
  addPrintInstallation(app, o.printInstallation, "checks");
  addPathOption(app, o.path);
  app.add_option("scenario", o.scenarios, "scenario files to run after the checks");
  app.add_option("--only", o.only, "run only these checks (see --list-checks)")
      ->expected(1)
      ->allow_extra_args(false)
      ->delimiter(',')
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->option_text("CHECK[,CHECK...]");
  app.add_flag("--only-failed", o.onlyFailed, "print only the checks that failed");
  app.add_flag("--list-checks", o.listChecks, "list the checks and exit");
  addReportOption(app, o.reports);
  app.add_flag("--fail-fast", o.failFast, "stop at the first check that fails");
  app.add_flag("--trace", o.trace, "show each check's calls into the script and its commands");
}

void monkeyOptions(CLI::App& app, CommandLine& line) {
  MonkeyOptions& o = line.monkey;
  addCommonOptions(app, line.common);
  addInstallationOption(app, line.common.installation,
                        "learned from the script's own lookups and registrations");
  addPrintInstallation(app, o.printInstallation, "events");
  addReportOption(app, o.reports);
  addPathOption(app, o.path);
  app.add_option("--seed", o.seed, "the seed of the random events (default 1)");
  app.add_option("--events", o.events, "how many events (default 1000)")
      ->check(CLI::Range(1, 100000000));
}

void replayOptions(CLI::App& app, CommandLine& line) {
  ReplayOptions& o = line.replay;
  addCommonOptions(app, line.common);
  app.add_option("capture", o.capture, "the capture file")->required();
  app.add_option("--write-scenario", o.writeScenario,
                 "write the capture as a scenario in FILE instead of replaying it")
      ->option_text("FILE");
  addReportOption(app, o.reports);
}

void serveOptions(CLI::App& app, CommandLine& line) {
  ServeSettings& o = line.serve;
  // In drez-host's own process: the page's "restart" loads the library again.
  addLibraryOptions(app, o.script, o.polls);
  addInstallationOption(app, o.installation, "Studio A, or the set-up lines of the scenario");
  addTimeoutOption(app, o.timeout, "the studio");
  app.add_option("--port", o.port, "the port (default 8080; 0 picks a free one)")
      ->check(CLI::Range(0, 65535))
      ->option_text("N");
  app.add_option("--listen", o.listen,
                 "the address to listen on (default 127.0.0.1: this machine only; another "
                 "address is warned about)")
      ->check([](const std::string& address) {
        return address.empty() ? std::string("--listen needs an address, not empty text")
                               : std::string();
      })
      ->option_text("ADDR");
  app.add_option("--capture", o.capture,
                 "show this capture from drez_tap read-only, call by call, instead of a live "
                 "studio (with --script: replayed against it, and each differing call marked)")
      ->option_text("FILE");
  app.add_option("scenario", o.scenario,
                 "its set-up lines build the installation (default: Studio A) and its actions "
                 "are played before the page is served");
}

ExitStatus serve(const CommandLine& line) {
#if defined(DREZ_HOST_SERVE)
  // Serve loads the library itself: its restart loads it again.
  return runServe(line.serve);
#else
  (void)line;
  return badInput("serve is a feature of the native build: this drez-host was built without it");
#endif
}

#if defined(DREZ_HOST_SERVE)
const char kServeSummary[] =
    "the studio as a web page: see and drive the panel script in a browser";
#else
const char kServeSummary[] =
    "the studio as a web page: a feature of the native build, which this drez-host lacks";
#endif

}  // namespace

const std::vector<JobEntry>& jobs() {
  static const std::vector<JobEntry> all = {
      {"run", "run scenario files (the default job)", runOptions,
       [](const CommandLine& line) { return runJob(line.common, line.run); }},
      {"validate", "run the named checks on any panel library, each isolated, then the scenarios",
       validateOptions,
       [](const CommandLine& line) { return validateJob(line.common, line.validate); }},
      {"monkey", "drive a panel library with random events and check the host contract after each",
       monkeyOptions, [](const CommandLine& line) { return monkeyJob(line.common, line.monkey); }},
      {"replay",
       "play a capture drez_tap made in the studio against a build of the panel, and show where "
       "it differs",
       replayOptions, [](const CommandLine& line) { return replayJob(line.common, line.replay); }},
      {"serve", kServeSummary, serveOptions, serve},
  };
  return all;
}

std::optional<ExitStatus> parseCommandLine(int argc, const char* const* argv, CommandLine* line,
                                           std::ostream& out, std::ostream& err) {
  CLI::App app(kDescription, "drez-host");
  // On Windows CLI11 would read a path such as /work/a.scn as an option.
  app.allow_windows_style_options(false);
  app.footer(std::string(kFooter) + "\n\n" + lineReaderHelp());
  app.failure_message([](const CLI::App*, const CLI::Error& error) {
    return "drez-host: " + std::string(error.what()) + "\n(drez-host --help lists the options)\n";
  });
  // What fits no option or argument is kept and said below, in the order given.
  app.allow_extras();
  const JobEntry& byDefault = jobs().front();
  byDefault.options(app, *line);
  std::vector<std::pair<const JobEntry*, CLI::App*>> subcommands;
  for (const JobEntry& job : jobs()) {
    CLI::App* subcommand = app.add_subcommand(job.name, job.summary);
    subcommand->allow_extras();
    job.options(*subcommand, *line);
    subcommands.emplace_back(&job, subcommand);
  }
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
  } catch (const CLI::ParseError& error) {
    // CLI11 says what it found: the help asked for, or what does not fit.
    return app.exit(error, out, err) == 0 ? ExitStatus::Passed : ExitStatus::BadInput;
  }
  const std::vector<std::string> extra = app.remaining(true);
  if (!extra.empty()) {
    std::string listed;
    for (const std::string& arg : extra) listed += (listed.empty() ? "" : " ") + arg;
    err << "drez-host: "
        << (extra.front().size() > 1 && extra.front()[0] == '-'
                ? "unknown option '" + extra.front() + "'"
                : "unexpected argument: " + listed)
        << "\n(drez-host --help lists the options)\n";
    return ExitStatus::BadInput;
  }
  // The job is chosen here, and only here.
  line->job = &byDefault;
  for (const auto& [job, subcommand] : subcommands) {
    if (subcommand->parsed()) line->job = job;
  }
  return std::nullopt;
}

}  // namespace drezhost
