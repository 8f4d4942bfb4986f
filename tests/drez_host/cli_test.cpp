// drez-host's command line and its loading of panel libraries.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "data_files.h"
#include "options.h"
#include "panel_library.h"
#include "script_library.h"

namespace {

using ::testing::HasSubstr;
using namespace drezhost;

bool parse(std::vector<const char*> args, Options* options, std::string* error) {
  args.insert(args.begin(), "drez-host");
  return parseOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(Options, NoArgumentsPlayTheDemo) {
  Options options;
  std::string error;
  ASSERT_TRUE(parse({}, &options, &error));
  EXPECT_TRUE(options.scenario.empty());
  EXPECT_FALSE(options.script.has_value());
  EXPECT_FALSE(options.interactive);
  EXPECT_EQ(options.polls, PollDelivery::Reentrant);
}

TEST(Options, ReadsEveryOption) {
  Options options;
  std::string error;
  ASSERT_TRUE(parse({"--script", "lib.so", "--polls", "queued", "--studio", "--quiet", "run.scn"},
                    &options, &error))
      << error;
  EXPECT_EQ(options.script, "lib.so");
  EXPECT_EQ(options.scenario, "run.scn");
  EXPECT_EQ(options.polls, PollDelivery::Queued);
  EXPECT_TRUE(options.showStudio);
  EXPECT_TRUE(options.quiet);
}

TEST(Options, ADashOrMinusIMeansTheTerminal) {
  Options dash;
  Options flag;
  std::string error;
  ASSERT_TRUE(parse({"-"}, &dash, &error));
  EXPECT_TRUE(dash.interactive);
  ASSERT_TRUE(parse({"-i"}, &flag, &error));
  EXPECT_TRUE(flag.interactive);
}

TEST(Options, RejectsWhatDoesNotFit) {
  const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
      {{"--colour"}, "unknown option '--colour'"},
      {{"--script"}, "--script needs a value"},
      {{"--polls", "later"}, "--polls takes reentrant, queued or off, not 'later'"},
      {{"a.scn", "b.scn"}, "more than one scenario: 'a.scn' and 'b.scn'"},
      {{"-i", "a.scn"}, "-i reads the terminal; it takes no scenario file"},
  };
  for (const auto& entry : cases) {
    Options options;
    std::string error;
    EXPECT_FALSE(parse(entry.first, &options, &error));
    EXPECT_EQ(error, entry.second);
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
    ScriptLibrary notALibrary(__FILE__);
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
