// The tap never harms its host: whatever is wrong with its configuration,
// its real library or its capture, the host is served as the real library
// would serve it (or gets null where there is none) and one line on the
// debug channel says what is wrong.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "capture_reader.h"
#include "recording_host.h"
#include "simulator/script_library.h"
#include "studio_session.h"
#include "tap_folder.h"

#if defined(__linux__)
#include <sys/resource.h>

#include <csignal>
#endif

namespace dreztaptest {
namespace {

using ::testing::ElementsAreArray;

#if defined(_WIN32)
const std::string kSuffix = ".dll";
#else
const std::string kSuffix = ".so";
#endif

HostLog directSession() {
  drezhost::ScriptLibrary library(vantrelLibrary().string());
  return runStudioSession(library.entry());
}

// "{f}" in a line stands for the test's folder, "{ini}" for the tap's
// configuration file.
std::string filled(std::string line, const TapFolder& folder) {
  const std::pair<std::string, std::string> names[] = {{"{f}", folder.path.u8string()},
                                                       {"{ini}", folder.ini().u8string()}};
  for (const auto& [placeholder, value] : names) {
    for (std::size_t at = line.find(placeholder); at != std::string::npos;
         at = line.find(placeholder, at + value.size())) {
      line.replace(at, placeholder.size(), value);
    }
  }
  return line;
}

struct FaultCase {
  const char* name;
  // The configuration, or none; "{s}" stands for the library suffix.
  std::optional<std::string> ini;
  std::vector<std::string> lines;  // what the debug channel says, natively
  bool served;                     // the host gets a working script
  bool recorded;                   // and a complete capture
};

std::string withSuffix(std::string text) {
  for (std::size_t at = text.find("{s}"); at != std::string::npos; at = text.find("{s}")) {
    text.replace(at, 3, kSuffix);
  }
  return text;
}

const std::string kRecording = "drez_tap: recording {f}/real{s} into {f}/c.capture";

TEST(TapFaults, EachFaultIsSaidOnceAndTheHostIsServedAsWithoutTheTap) {
  const HostLog direct = directSession();
  const std::vector<FaultCase> cases = {
      {"no configuration",
       std::nullopt,
       {"drez_tap: cannot read the configuration {ini} (no such file); the host gets no script"},
       false,
       false},
      {"no script= line",
       "capture=c.capture\n",
       {"drez_tap: {ini} names no script= library; the host gets no script"},
       false,
       false},
      {"a script that is not there",
       "script=missing{s}\ncapture=c.capture\n",
       {"drez_tap: cannot load the panel library {f}/missing{s} ({f}/missing{s}: cannot open "
        "shared object file: No such file or directory); the host gets no script"},
       false,
       false},
      {"a capture that cannot be made",
       "script=real{s}\ncapture=no/such/folder/c.capture\n",
       {"drez_tap: cannot create the capture {f}/no/such/folder/c.capture (No such file or "
        "directory); forwarding without recording"},
       true,
       false},
      {"no capture= line",
       "script=real{s}\n",
       {"drez_tap: {ini} names no capture= file; forwarding without recording"},
       true,
       false},
      {"unknown lines",
       "script=real{s}\ncolour = blue\ncapture=c.capture\n[section]\n  # fine\n\n",
       {"drez_tap: {ini}:2: ignored 'colour = blue' (not script=, capture= or max_bytes=)",
        "drez_tap: {ini}:4: ignored '[section]' (not script=, capture= or max_bytes=)", kRecording},
       true,
       true},
      {"max_bytes that is no number",
       "script=real{s}\ncapture=c.capture\nmax_bytes=lots\n",
       {"drez_tap: {ini}:3: max_bytes=lots is not a number of bytes; using 268435456", kRecording},
       true,
       true},
      {"a key given twice",
       "script=other{s}\r\nscript=real{s}\r\ncapture=c.capture\r\n",
       {"drez_tap: {ini}:2: script= given again; this one counts", kRecording},
       true,
       true},
      {"max_bytes reached",
       "script=real{s}\ncapture=c.capture\nmax_bytes=3000\n",
       {kRecording,
        "drez_tap: the capture {f}/c.capture reached max_bytes=3000; recording "
        "stopped, forwarding goes on"},
       true,
       false},
  };
  // Each case in a folder of its own, with a fresh copy of the tap. (On
  // Windows a real library the tap loaded stays loaded, so no folder is
  // emptied while the test runs.)
  const TapFolder base;
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string case_name = c.name;
    TapFolder folder = base;
    fs::path case_dir = base.path / std::to_string(&c - cases.data());
    fs::create_directories(case_dir);
    fs::copy_file(folder.tap, case_dir / folder.tap.filename());
    folder.path = case_dir;
    folder.tap = case_dir / folder.tap.filename();
    folder.addVantrel("real" + kSuffix);
    if (c.ini) folder.writeIni(withSuffix(*c.ini));

    HostLog tapped;
    DebugChannel debug;
    {
      drezhost::ScriptLibrary tap(folder.tap.string());
      tapped = runStudioSession(tap.entry());
    }
    if (auto lines = debug.lines()) {
      std::vector<std::string> expected;
      for (const std::string& line : c.lines) expected.push_back(filled(withSuffix(line), folder));
      EXPECT_THAT(*lines, ElementsAreArray(expected));
    }
    if (c.served) {
      EXPECT_EQ(tapped, direct) << describe(tapped);
    } else {
      EXPECT_FALSE(tapped.created);
      EXPECT_TRUE(tapped.commands.empty());
    }
    const std::optional<fs::path> capture = folder.capture();
    if (c.recorded) {
      ASSERT_TRUE(capture.has_value());
      EXPECT_TRUE(drezcapture::readCaptureFile(capture->string()).complete());
    } else if (case_name == "max_bytes reached") {
      ASSERT_TRUE(capture.has_value());
      EXPECT_LE(fs::file_size(*capture), 3000u);
      const drezcapture::Capture read = drezcapture::readCaptureFile(capture->string());
      EXPECT_TRUE(read.stopped);
      EXPECT_EQ(std::get<drezcapture::StoppedEntry>(read.entries.back()).reason,
                "the capture reached max_bytes=3000");
    } else {
      EXPECT_FALSE(capture.has_value());
    }
  }
}

TEST(TapFaults, AnExportThatGivesNullIsPassedOnAndSaid) {
  TapFolder folder;
  folder.writeIni(std::string("script=") + BROKEN_PANEL_PATH + "\ncapture=c.capture\n");
  DebugChannel debug;
  {
    drezhost::ScriptLibrary tap(folder.tap.string());
    drezhost::RecordingHost host;
    EXPECT_EQ(tap.entry()(&host, "refuse"), nullptr);
    EXPECT_TRUE(host.commands().empty());
  }
  if (auto lines = debug.lines()) {
    EXPECT_THAT(*lines, ::testing::ElementsAre(filled(std::string("drez_tap: recording ") +
                                                          BROKEN_PANEL_PATH + " into {f}/c.capture",
                                                      folder),
                                               std::string("drez_tap: ") + BROKEN_PANEL_PATH +
                                                   ": load_drez_client_script returned null"));
  }
  const drezcapture::Capture capture = drezcapture::readCaptureFile(folder.capture()->string());
  ASSERT_EQ(capture.entries.size(), 3u);
  EXPECT_EQ(std::get<drezcapture::ExportEntry>(capture.entries[1]).path, "refuse");
  EXPECT_EQ(std::get<drezcapture::EndEntry>(capture.entries[2]).result.kind,
            drezcapture::ResultKind::kNull);
}

TEST(TapFaults, ALibraryWithoutTheExportGivesNoScript) {
  TapFolder folder;
  folder.writeIni(std::string("script=") + NO_EXPORT_PANEL_PATH + "\n");
  DebugChannel debug;
  {
    drezhost::ScriptLibrary tap(folder.tap.string());
    drezhost::RecordingHost host;
    EXPECT_EQ(tap.entry()(&host, "p"), nullptr);
  }
  if (auto lines = debug.lines()) {
    EXPECT_THAT(*lines, ::testing::ElementsAre(
                            std::string("drez_tap: ") + NO_EXPORT_PANEL_PATH +
                            " does not export load_drez_client_script; the host gets no script"));
  }
}

TEST(TapFaults, AConfigurationFixedLaterIsReadAtTheNextExport) {
  TapFolder folder;
  folder.addVantrel("real" + kSuffix);
  DebugChannel debug;
  drezhost::ScriptLibrary tap(folder.tap.string());
  drezhost::RecordingHost host;
  EXPECT_EQ(tap.entry()(&host, "p"), nullptr);
  folder.writeIni("script=real" + kSuffix + "\ncapture=c.capture\n");
  drez_client_callback* script = tap.entry()(&host, "p");
  EXPECT_NE(script, nullptr);
  drez_delete_script(script);
  if (auto lines = debug.lines()) {
    EXPECT_EQ(lines->size(), 2u);
  }
  EXPECT_TRUE(drezcapture::readCaptureFile(folder.capture()->string()).complete());
}

#if defined(__linux__)
// A full disk, as a file size limit: the write that passes it fails.
TEST(TapFaults, ACaptureThatCannotBeWrittenStopsRecordingAndForwardingGoesOn) {
  const HostLog direct = directSession();
  TapFolder folder;
  folder.addVantrel("real.so");
  folder.writeIni("script=real.so\ncapture=c.capture\n");
  HostLog tapped;
  DebugChannel debug;
  {
    drezhost::ScriptLibrary tap(folder.tap.string());
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 2500;
    setrlimit(RLIMIT_FSIZE, &small);
    tapped = runStudioSession(tap.entry());
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, old_handler);
  }
  EXPECT_EQ(tapped, direct) << describe(tapped);
  if (auto lines = debug.lines()) {
    EXPECT_THAT(*lines,
                ::testing::ElementsAre(
                    filled("drez_tap: recording {f}/real.so into {f}/c.capture", folder),
                    filled("drez_tap: cannot write the capture {f}/c.capture (File too large); "
                           "recording stopped, forwarding goes on",
                           folder)));
  }
  // What reached the file reads, up to where it was cut.
  const drezcapture::Capture capture = drezcapture::readCaptureFile(folder.capture()->string());
  EXPECT_FALSE(capture.complete());
  EXPECT_LE(fs::file_size(*folder.capture()), 2500u);
  EXPECT_GT(capture.completeEntries, 10u);
}
#endif

}  // namespace
}  // namespace dreztaptest
