// The tap never harms its host: whatever is wrong with its configuration,
// its real library or its capture, the host is served as the real library
// would serve it (or gets null where there is none) and one line on the
// debug channel says what is wrong.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "capture_reader.h"
#include "recording_host.h"
#include "simulator/records_builder.h"
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
// configuration file, "{tap}" for the tap's file name.
std::string filled(std::string line, const TapFolder& folder) {
  const std::pair<std::string, std::string> names[] = {{"{f}", folder.path.u8string()},
                                                       {"{ini}", folder.ini().u8string()},
                                                       {"{tap}", folder.tap.filename().u8string()}};
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
  // The configuration, or none; "{s}" stands for the library suffix,
  // "{tap}" for the tap's file name.
  std::optional<std::string> ini;
  std::vector<std::string> lines;  // what the debug channel says, natively
  bool served;                     // the host gets a working script
  bool recorded;                   // and a complete capture
  // What else the folder holds (may be null).
  std::function<void(const TapFolder&)> prepare = nullptr;
};

// A second copy of the tap in the folder, as `name`, configured with `ini`.
std::function<void(const TapFolder&)> secondTap(const std::string& name, const std::string& ini) {
  return [name, ini](const TapFolder& folder) {
    fs::copy_file(folder.tap, folder.path / name);
    fs::path second_ini = folder.path / name;
    second_ini.replace_extension(".tap.ini");
    std::ofstream(second_ini, std::ios::binary) << ini;
  };
}

// `text` (ASCII) as UTF-16 with its byte order mark, as Notepad saves it.
std::string utf16(const std::string& text) {
  std::string bytes = "\xFF\xFE";
  for (char c : text) {
    bytes.push_back(c);
    bytes.push_back('\0');
  }
  return bytes;
}

std::string withSuffix(std::string text) {
  for (std::size_t at = text.find("{s}"); at != std::string::npos; at = text.find("{s}")) {
    text.replace(at, 3, kSuffix);
  }
  return text;
}

const std::string kTapRefused =
    "drez_tap: {f}/other{s} is a drez_tap too, not the real panel: taps in front of each other "
    "would call each other without end; the host gets no script";

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
       "script=real{s}\ncapture=real{s}/c.capture\n",
       {"drez_tap: cannot create the capture {f}/real{s}/c.capture (cannot make its folder: Not a "
        "directory); forwarding without recording"},
       true,
       false},
      {"a capture in a folder not made yet",
       "script=real{s}\ncapture=captures/studio/c.capture\n",
       {"drez_tap: recording {f}/real{s} into {f}/captures/studio/c.capture"},
       true,
       true},
      {"a capture whose name is taken by a folder",
       "script=real{s}\ncapture=c.capture\n",
       {"drez_tap: recording {f}/real{s} into {f}/c.1.capture"},
       true,
       true,
       [](const TapFolder& folder) { fs::create_directories(folder.path / "c.capture"); }},
      {"script= names the tap itself",
       "script={tap}\ncapture=c.capture\n",
       {"drez_tap: {ini}: script={tap} names this tap itself ({f}/{tap}), not the real panel; the "
        "host gets no script"},
       false,
       false},
      {"script= names the tap itself, spelt otherwise",
       "script=./{tap}\ncapture=c.capture\n",
       {"drez_tap: {ini}: script=./{tap} names this tap itself ({f}/./{tap}), not the real panel; "
        "the host gets no script"},
       false,
       false},
      {"script= names a copy of the tap, in front of the real panel",
       "script=other{s}\ncapture=c.capture\n",
       {kTapRefused},
       false,
       false,
       secondTap("other" + kSuffix, "script=real" + kSuffix + "\n")},
      {"two taps naming each other",
       "script=other{s}\ncapture=c.capture\n",
       {kTapRefused},
       false,
       false,
       [](const TapFolder& folder) {
         secondTap("other" + kSuffix, "script=" + folder.tap.filename().string() + "\n")(folder);
       }},
      {"max_bytes too small for a capture",
       "script=real{s}\ncapture=c.capture\nmax_bytes=40\n",
       {"drez_tap: {ini}: max_bytes=40 leaves no room for a capture (it takes 215 bytes at "
        "least); forwarding without recording"},
       true,
       false},
      {"max_bytes=0",
       "script=real{s}\ncapture=c.capture\nmax_bytes=0\n",
       {"drez_tap: {ini}: max_bytes=0 leaves no room for a capture (it takes 215 bytes at least); "
        "forwarding without recording"},
       true,
       false},
      {"a configuration that is not UTF-8",
       "# f\xFCr Studio A\nscript=real{s}\ncapture=c.capture\n",
       {"drez_tap: {ini} is not UTF-8: read as bytes, unchanged", kRecording},
       true,
       true},
      {"a script= path in the ANSI code page",
       "script=r\xFC"
       "al{s}\ncapture=c.capture\n",
       {"drez_tap: {ini} is not UTF-8: read as bytes, unchanged",
        "drez_tap: recording {f}/r\xFC"
        "al{s} into {f}/c.capture"},
       true,
       true,
       [](const TapFolder& folder) {
  // The same name on the disk: natively its bytes, on Windows its
  // characters (the ANSI code page's 0xFC is u with diaeresis).
#if defined(_WIN32)
         fs::copy_file(vantrelLibrary(), folder.path / fs::u8path("r\xC3\xBC"
                                                                  "al.dll"));
#else
         fs::copy_file(vantrelLibrary(), folder.path / ("r\xFC"
                                                        "al" +
                                                        kSuffix));
#endif
       }},
      {"a configuration in UTF-16, as Notepad saves it",
       std::nullopt,
       {"drez_tap: {ini} read as UTF-16 (little-endian)", kRecording},
       true,
       true,
       [](const TapFolder& folder) {
         folder.writeIni(utf16(withSuffix("script=real{s}\r\ncapture=c.capture\r\n")));
       }},
      {"an empty configuration",
       "",
       {"drez_tap: {ini} names no script= library; the host gets no script"},
       false,
       false},
      {"a configuration that is a folder",
       std::nullopt,
       {"drez_tap: cannot read the configuration {ini} (not a file); the host gets no script"},
       false,
       false,
       [](const TapFolder& folder) { fs::create_directories(folder.ini()); }},
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
    if (c.ini) folder.writeIni(filled(withSuffix(*c.ini), folder));
    if (c.prepare) c.prepare(folder);

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

// A loop through a library the tap cannot know for a tap: its export is
// entered again from inside itself, and refused 8 deep with one line; the
// capture holds the exports that ran, each ended.
TEST(TapFaults, ALoopBackIntoTheTapIsRefusedWithOneLine) {
  TapFolder folder;
  folder.writeIni(std::string("script=") + LOOPING_PANEL_PATH + "\ncapture=c.capture\n");
  DebugChannel debug;
  {
    drezhost::ScriptLibrary tap(folder.tap.string());
    drezhost::RecordingHost host;
    EXPECT_EQ(tap.entry()(&host, folder.tap.string().c_str()), nullptr);
    EXPECT_TRUE(host.commands().empty());
  }
  if (auto lines = debug.lines()) {
    EXPECT_THAT(*lines, ::testing::ElementsAre(
                            filled(std::string("drez_tap: recording ") + LOOPING_PANEL_PATH +
                                       " into {f}/c.capture",
                                   folder),
                            std::string("drez_tap: ") + LOOPING_PANEL_PATH +
                                " called this tap's export again from inside its own, 8 deep: "
                                "taps that load each other; the host gets no script"));
  }
  const drezcapture::Capture capture = drezcapture::readCaptureFile(folder.capture()->string());
  EXPECT_TRUE(capture.complete()) << capture.describe();
  EXPECT_EQ(capture.hostCalls(), 8u);
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

#if !defined(_WIN32)
// Paths may hold any byte but NUL: a line feed in the tap's folder stays
// inside its one line.
TEST(TapFaults, ALineFeedInAPathStaysInsideItsLine) {
  TapFolder base;
  const fs::path odd = base.path / "with\nline feed\r";
  fs::create_directories(odd);
  fs::copy_file(base.tap, odd / base.tap.filename());
  DebugChannel debug;
  {
    drezhost::ScriptLibrary tap((odd / base.tap.filename()).string());
    drezhost::RecordingHost host;
    EXPECT_EQ(tap.entry()(&host, "p"), nullptr);
  }
  std::string ini = (odd / base.tap.filename()).string();
  ini.replace(ini.rfind(".so"), 3, ".tap.ini");
  std::string shown = ini;
  shown.replace(shown.find('\n'), 1, "\\n");
  shown.replace(shown.find('\r'), 1, "\\r");
  if (auto lines = debug.lines()) {
    EXPECT_THAT(*lines, ::testing::ElementsAre("drez_tap: cannot read the configuration " + shown +
                                               " (no such file); the host gets no script"));
  }
}
#endif

// Calls nested past the recorder's 64: a host that delivers an event id
// from inside each event's "ET". The host is served throughout; the
// capture stops there, with the line naming that fault.
TEST(TapFaults, CallsNestedPast64StopTheCaptureAndSaySo) {
  const auto session = [](load_drez_client_script_fn entry) {
    drezhost::RecordingHost host;
    drez_client_callback* script = entry(&host, "p");
    int events = 0;
    host.setExecuteHook([&](const std::string& command) {
      if (command.compare(0, 3, "ET ") != 0 || ++events > 40) return;
      script->callback(reinterpret_cast<void*>(intptr_t{100} + events), CB_EVENT_ID);
    });
    script->callback(reinterpret_cast<void*>(intptr_t{100}), CB_EVENT_ID);
    drez_delete_script(script);
    return host.commands();
  };
  const std::vector<std::string> direct = [&] {
    drezhost::ScriptLibrary library(vantrelLibrary().string());
    return session(library.entry());
  }();
  TapFolder folder;
  folder.addVantrel("real" + kSuffix);
  folder.writeIni("script=real" + kSuffix + "\ncapture=c.capture\n");
  DebugChannel debug;
  std::vector<std::string> tapped;
  {
    drezhost::ScriptLibrary tap(folder.tap.string());
    tapped = session(tap.entry());
  }
  EXPECT_EQ(tapped, direct);
  EXPECT_THAT(direct, ::testing::Contains("ET 140"));
  if (auto lines = debug.lines()) {
    EXPECT_THAT(*lines, ::testing::ElementsAre(
                            filled(withSuffix(kRecording), folder),
                            filled("drez_tap: the capture {f}/c.capture stopped: the calls nested "
                                   "deeper than 64; forwarding goes on",
                                   folder)));
  }
  const drezcapture::Capture capture = drezcapture::readCaptureFile(folder.capture()->string());
  EXPECT_TRUE(capture.stopped);
  EXPECT_EQ(capture.openCalls, 64u);
  EXPECT_EQ(std::get<drezcapture::StoppedEntry>(capture.entries.back()).reason,
            "the calls nested deeper than 64");
}

// An exception the real script lets out of a call, or the real host out of
// a command, passes on to the other side as without the tap, and the
// capture records the call as ended by it.
#if !defined(_WIN32)
std::vector<std::string> brokenSession(load_drez_client_script_fn entry) {
  std::vector<std::string> log;
  drezhost::RecordingHost host;
  host.setExecuteHook([](const std::string& command) {
    if (command == "ET 9") throw std::runtime_error("the host's own");
  });
  try {
    entry(&host, "throw");
    log.push_back("the export returned");
  } catch (const std::runtime_error& error) {
    log.push_back(std::string("the export threw: ") + error.what());
  }
  drez_client_callback* script = entry(&host, "p");
  for (intptr_t id : {7, 9, 6}) {
    try {
      script->callback(reinterpret_cast<void*>(id), CB_EVENT_ID);
      log.push_back("event " + std::to_string(id) + " returned");
    } catch (const std::runtime_error& error) {
      log.push_back("event " + std::to_string(id) + " threw: " + error.what());
    }
  }
  drez_delete_script(script);
  for (const std::string& command : host.commands()) log.push_back("sent " + command);
  return log;
}

TEST(TapExceptions, AnExceptionPassesAsWithoutTheTapAndTheCallIsRecordedAsEnded) {
  const std::vector<std::string> direct = [] {
    drezhost::ScriptLibrary library(BROKEN_PANEL_PATH);
    return brokenSession(library.entry());
  }();
  EXPECT_THAT(direct, ::testing::IsSupersetOf({"the export threw: refused to start",
                                               "event 7 threw: broken on purpose",
                                               "event 9 returned", "event 6 returned"}));
  TapFolder folder;
  folder.writeIni(std::string("script=") + BROKEN_PANEL_PATH + "\ncapture=c.capture\n");
  DebugChannel debug;
  std::vector<std::string> tapped;
  {
    drezhost::ScriptLibrary tap(folder.tap.string());
    tapped = brokenSession(tap.entry());
  }
  EXPECT_EQ(tapped, direct);

  const drezcapture::Capture capture = drezcapture::readCaptureFile(folder.capture()->string());
  EXPECT_TRUE(capture.complete()) << capture.describe();
  std::vector<std::string> ended;
  for (const drezcapture::Entry& entry : capture.entries) {
    if (const auto* end = std::get_if<drezcapture::EndEntry>(&entry)) {
      if (end->result.kind == drezcapture::ResultKind::kException) {
        ended.push_back(
            drezcapture::entryRow(drezcapture::kindOf(capture.entries[end->opening])).keyword);
      }
    }
    if (const auto* command = std::get_if<drezcapture::CommandEntry>(&entry)) {
      if (command->result.kind == drezcapture::ResultKind::kException) {
        ended.push_back("command " + *command->text);
      }
    }
  }
  EXPECT_THAT(ended, ::testing::ElementsAre("export", "event", "command ET 9"));
}
#endif

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
