// drez-host's command line and its loading of panel libraries.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cli/options.h"
#include "jobs/panel_library.h"
#include "scenario/data_files.h"
#include "simulator/script_library.h"

namespace {

using ::testing::HasSubstr;
using namespace drezhost;

bool parse(std::vector<const char*> args, CommandLine* line, std::string* error) {
  args.insert(args.begin(), "drez-host");
  return parseCommandLine(static_cast<int>(args.size()), args.data(), line, error);
}

TEST(Options, NoArgumentsPlayTheDemo) {
  CommandLine options;
  std::string error;
  ASSERT_TRUE(parse({}, &options, &error));
  EXPECT_TRUE(options.options.scenarios.empty());
  EXPECT_EQ(options.job, Job::Run);
  EXPECT_FALSE(options.options.script.has_value());
  EXPECT_FALSE(options.options.interactive);
  EXPECT_EQ(options.options.polls, PollDelivery::Reentrant);
}

TEST(Options, ReadsEveryOption) {
  CommandLine options;
  std::string error;
  ASSERT_TRUE(parse({"--script=lib.so", "--polls", "queued", "--studio", "--quiet", "--timeout=0.5",
                     "--report", "junit=r.xml", "--report=tap", "run.scn", "more.scn"},
                    &options, &error))
      << error;
  EXPECT_EQ(options.options.script, "lib.so");
  EXPECT_THAT(options.options.scenarios, ::testing::ElementsAre("run.scn", "more.scn"));
  EXPECT_THAT(options.options.reports, ::testing::ElementsAre("junit=r.xml", "tap"));
  EXPECT_EQ(options.options.timeout, 0.5);
  EXPECT_EQ(options.options.polls, PollDelivery::Queued);
  EXPECT_TRUE(options.options.showStudio);
  EXPECT_TRUE(options.options.quiet);
}

TEST(Options, OneSubcommandPerJob) {
  CommandLine validate;
  CommandLine monkey;
  std::string error;
  ASSERT_TRUE(parse(
      {"validate", "--script", "l.so", "--only=odd-kinds,null-host", "--only-failed", "x.scn"},
      &validate, &error))
      << error;
  EXPECT_EQ(validate.job, Job::Validate);
  EXPECT_THAT(validate.options.only, ::testing::ElementsAre("odd-kinds", "null-host"));
  EXPECT_TRUE(validate.options.onlyFailed);
  EXPECT_THAT(validate.options.scenarios, ::testing::ElementsAre("x.scn"));
  ASSERT_TRUE(parse({"monkey", "--seed", "7", "--events=50", "--path", "p"}, &monkey, &error));
  EXPECT_EQ(monkey.job, Job::Monkey);
  EXPECT_EQ(monkey.options.seed, 7u);
  EXPECT_EQ(monkey.options.events, 50);
  EXPECT_EQ(monkey.options.path, "p");
}

TEST(Options, ADashOrMinusIMeansTheTerminal) {
  CommandLine dash;
  CommandLine flag;
  std::string error;
  ASSERT_TRUE(parse({"-"}, &dash, &error));
  EXPECT_TRUE(dash.options.interactive);
  ASSERT_TRUE(parse({"-i"}, &flag, &error));
  EXPECT_TRUE(flag.options.interactive);
}

TEST(Options, RejectsWhatDoesNotFit) {
  const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
      {{"--colour"}, "unknown option '--colour'"},
      {{"--script"}, "--script: 1 required TEXT missing"},
      {{"--polls", "later"}, "--polls: Check later value in {"},
      {{"a.scn", "-"}, "'-' (the terminal) cannot stand beside scenario files"},
      {{"-i", "a.scn"}, "-i reads the terminal; it takes no scenario file"},
      {{"--report", "xml=a"}, "expected junit=FILE, tap, tap=FILE or json=FILE, not 'xml=a'"},
      {{"--timeout", "0"}, "--timeout: Value 0 not in range"},
  };
  for (const auto& entry : cases) {
    CommandLine options;
    std::string error;
    EXPECT_FALSE(parse(entry.first, &options, &error));
    EXPECT_THAT(error, HasSubstr(entry.second));
  }
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
