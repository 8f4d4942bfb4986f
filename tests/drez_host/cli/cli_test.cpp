// drez-host's command line and its loading of panel libraries.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "jobs/panel_library.h"
#include "scenario/data_files.h"
#include "simulator/script_library.h"

namespace {

using ::testing::HasSubstr;
using namespace drezhost;

// Reads `args`; true when the job may run. What CLI11 says goes to `*said`.
bool parse(std::vector<const char*> args, CommandLine* line, std::string* said,
           ExitStatus* status = nullptr) {
  args.insert(args.begin(), "drez-host");
  std::ostringstream out;
  std::ostringstream err;
  const std::optional<ExitStatus> ended =
      parseCommandLine(static_cast<int>(args.size()), args.data(), line, out, err);
  *said = out.str() + err.str();
  if (status != nullptr) *status = ended.value_or(ExitStatus::Passed);
  return !ended;
}

TEST(Options, NoArgumentsPlayTheDemo) {
  CommandLine options;
  std::string error;
  ASSERT_TRUE(parse({}, &options, &error));
  EXPECT_STREQ(options.job->name, "run");
  EXPECT_TRUE(options.run.scenarios.empty());
  EXPECT_FALSE(options.common.script.has_value());
  EXPECT_FALSE(options.run.interactive);
  EXPECT_EQ(options.common.polls, PollDelivery::Reentrant);
  EXPECT_TRUE(options.common.isolation.isolate);
}

TEST(Options, ReadsEveryOption) {
  CommandLine options;
  std::string error;
  ASSERT_TRUE(
      parse({"--script=lib.so", "--polls", "queued", "--studio", "--quiet", "--timeout=0.5",
             "--report", "junit=r.xml", "--report=tap", "--no-isolate", "run.scn", "more.scn"},
            &options, &error))
      << error;
  EXPECT_EQ(options.common.script, "lib.so");
  EXPECT_THAT(options.run.scenarios, ::testing::ElementsAre("run.scn", "more.scn"));
  EXPECT_THAT(options.run.reports, ::testing::ElementsAre("junit=r.xml", "tap"));
  EXPECT_EQ(options.common.isolation.timeout, 0.5);
  EXPECT_FALSE(options.common.isolation.isolate);
  EXPECT_EQ(options.common.polls, PollDelivery::Queued);
  EXPECT_TRUE(options.run.showStudio);
  EXPECT_TRUE(options.common.quiet);
}

TEST(Options, OneSubcommandPerJob) {
  CommandLine validate;
  CommandLine monkey;
  CommandLine replay;
  CommandLine serve;
  std::string error;
  ASSERT_TRUE(parse(
      {"validate", "--script", "l.so", "--only=odd-kinds,null-host", "--only-failed", "x.scn"},
      &validate, &error))
      << error;
  EXPECT_STREQ(validate.job->name, "validate");
  EXPECT_THAT(validate.validate.only, ::testing::ElementsAre("odd-kinds", "null-host"));
  EXPECT_TRUE(validate.validate.onlyFailed);
  EXPECT_THAT(validate.validate.scenarios, ::testing::ElementsAre("x.scn"));
  EXPECT_TRUE(validate.run.scenarios.empty());
  ASSERT_TRUE(parse({"monkey", "--seed", "7", "--events=50", "--path", "p", "--print-installation"},
                    &monkey, &error));
  EXPECT_STREQ(monkey.job->name, "monkey");
  EXPECT_EQ(monkey.monkey.seed, 7u);
  EXPECT_EQ(monkey.monkey.events, 50);
  EXPECT_EQ(monkey.monkey.path, "p");
  EXPECT_TRUE(monkey.monkey.printInstallation);
  ASSERT_TRUE(parse({"replay", "c.capture", "--write-scenario", "f.scn"}, &replay, &error));
  EXPECT_STREQ(replay.job->name, "replay");
  EXPECT_EQ(replay.replay.capture, "c.capture");
  EXPECT_EQ(replay.replay.writeScenario, "f.scn");
  ASSERT_TRUE(parse({"serve", "--port", "0", "--timeout", "2", "--script", "l.so", "s.scn"}, &serve,
                    &error))
      << error;
  EXPECT_STREQ(serve.job->name, "serve");
  EXPECT_EQ(serve.serve.port, 0);
  EXPECT_EQ(serve.serve.timeout, 2);
  EXPECT_EQ(serve.serve.script, "l.so");
  EXPECT_EQ(serve.serve.scenario, "s.scn");
  // Every job is a row of the one table, and the subcommand that chose it.
  std::vector<std::string> names;
  for (const JobEntry& job : jobs()) names.emplace_back(job.name);
  EXPECT_THAT(names, ::testing::ElementsAre("run", "validate", "monkey", "replay", "serve"));
}

TEST(Options, ADashOrMinusIMeansTheTerminal) {
  CommandLine dash;
  CommandLine flag;
  std::string error;
  ASSERT_TRUE(parse({"-"}, &dash, &error));
  EXPECT_TRUE(dash.run.interactive);
  EXPECT_TRUE(dash.run.scenarios.empty());
  ASSERT_TRUE(parse({"-i"}, &flag, &error));
  EXPECT_TRUE(flag.run.interactive);
}

TEST(Options, CliElevenSaysWhatDoesNotFit) {
  const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
      {{"--colour"},
       "drez-host: unknown option '--colour'\n(drez-host --help lists the options)\n"},
      {{"monkey", "a", "b"}, "drez-host: unexpected argument: a b\n"},
      {{"validate", "--seed", "3"}, "unknown option '--seed'"},
      {{"--script"}, "--script: 1 required TEXT missing"},
      {{"--polls", "later"}, "--polls: Check later value in {"},
      {{"a.scn", "-"}, "'-' (the terminal) cannot stand beside scenario files"},
      {{"-i", "a.scn"}, "-i reads the terminal; it takes no scenario file"},
      {{"run", "-i", "a.scn"}, "-i reads the terminal; it takes no scenario file"},
      {{"--report", "xml=a"}, "expected junit=FILE, tap, tap=FILE or json=FILE, not 'xml=a'"},
      {{"--timeout", "0"}, "--timeout: Value 0 not in range"},
      {{"serve", "a.scn", "b.scn"}, "unexpected argument: b.scn"},
      {{"replay"}, "capture is required"},
  };
  for (const auto& entry : cases) {
    CommandLine options;
    std::string said;
    ExitStatus status = ExitStatus::Passed;
    EXPECT_FALSE(parse(entry.first, &options, &said, &status)) << entry.second;
    EXPECT_EQ(status, ExitStatus::BadInput) << entry.second;
    EXPECT_THAT(said, HasSubstr(entry.second));
  }
}

TEST(Options, HelpOfEachJobAndWhatThisBuildLacks) {
  CommandLine line;
  std::string said;
  ExitStatus status = ExitStatus::BadInput;
  EXPECT_FALSE(parse({"--help"}, &line, &said, &status));
  EXPECT_EQ(status, ExitStatus::Passed);
  EXPECT_THAT(said, HasSubstr("Usage: drez-host"));
  // Each job's summary comes from its row.
  for (const JobEntry& job : jobs()) EXPECT_THAT(said, HasSubstr(job.summary));
#if !defined(DREZ_HOST_SERVE)
  // This build refuses serve, and its help says so plainly.
  EXPECT_THAT(said, HasSubstr("a feature of the native build, which this drez-host lacks"));
#endif
  EXPECT_FALSE(parse({"validate", "--help"}, &line, &said, &status));
  EXPECT_EQ(status, ExitStatus::Passed);
  EXPECT_THAT(said, HasSubstr("--list-checks"));
}

TEST(ScriptLibrary, LoadsAPanelLibraryAndFindsItsExport) {
  ScriptLibrary library(DREZ_TEST_VANTREL_LIBRARY);
  ASSERT_NE(library.entry(), nullptr);
  drez_client_callback* script = library.entry()(nullptr, "");
  ASSERT_NE(script, nullptr);
  EXPECT_EQ(script->callback(nullptr, 0), nullptr);
  drez_delete_script(script);
}

TEST(ScriptLibrary, SaysWhyALibraryCannotBeUsed) {
  try {
    ScriptLibrary missing("no/such/libpanel.so");
    FAIL();
  } catch (const LibraryError& error) {
    EXPECT_STREQ(error.what(),
                 "panel library 'no/such/libpanel.so' does not exist or is not a file");
  }
  try {
    ScriptLibrary noExport(DREZ_TEST_NO_EXPORT_LIBRARY);
    FAIL();
  } catch (const LibraryError& error) {
    EXPECT_THAT(error.what(), HasSubstr("does not export load_drez_client_script"));
  }
  try {
    ScriptLibrary notALibrary(DREZ_TEST_NOT_A_LIBRARY);
    FAIL();
  } catch (const LibraryError& error) {
    EXPECT_THAT(error.what(), HasSubstr("cannot load panel library"));
  }
}

// Sets, or with null removes, an environment variable.
void setEnvironment(const char* name, const char* value) {
#if defined(_WIN32)
  _putenv_s(name, value != nullptr ? value : "");
#else
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
#endif
}

TEST(PanelLibrary, OptionThenEnvironmentThenTheDefaultBesideDrezHost) {
  setEnvironment("DREZ_HOST_SCRIPT", nullptr);
  EXPECT_EQ(choosePanelLibrary(std::string("given.so")), "given.so");
  EXPECT_THROW(choosePanelLibrary(std::string()), LibraryError);
  setEnvironment("DREZ_HOST_SCRIPT", "from_environment.so");
  EXPECT_EQ(choosePanelLibrary(std::string("given.so")), "given.so");
  EXPECT_EQ(choosePanelLibrary(std::nullopt), "from_environment.so");
  setEnvironment("DREZ_HOST_SCRIPT", nullptr);
  // The test program is no drez-host: nothing lies beside it.
  try {
    choosePanelLibrary(std::nullopt);
    FAIL();
  } catch (const LibraryError& error) {
    EXPECT_THAT(error.what(), HasSubstr("name one with --script PATH or the environment variable "
                                        "DREZ_HOST_SCRIPT"));
  }
  EXPECT_FALSE(executableDirectory().empty());
}

}  // namespace
