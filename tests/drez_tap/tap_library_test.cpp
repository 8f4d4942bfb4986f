// The tap library loaded by path in front of the real Vantrel library, as a
// studio engineer sets it up: the host must see exactly what it sees
// without the tap, and the capture must hold every call and command.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "capture_reader.h"
#include "recording_host.h"
#include "simulator/script_library.h"
#include "studio_session.h"
#include "tap_folder.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace dreztaptest {
namespace {

using drezcapture::Capture;
using drezcapture::CommandEntry;
using drezcapture::Entry;
using drezcapture::EntryKind;
using drezcapture::ResultKind;
using ::testing::ElementsAre;

#if defined(_WIN32)
const std::string kLibrarySuffix = ".dll";
uint64_t ourPid() { return GetCurrentProcessId(); }
#else
const std::string kLibrarySuffix = ".so";
uint64_t ourPid() { return static_cast<uint64_t>(getpid()); }
#endif

std::map<EntryKind, std::size_t> countKinds(const Capture& capture) {
  std::map<EntryKind, std::size_t> counts;
  for (const Entry& entry : capture.entries) ++counts[drezcapture::kindOf(entry)];
  return counts;
}

HostLog directSession() {
  drezhost::ScriptLibrary library(vantrelLibrary().string());
  return runStudioSession(library.entry());
}

TEST(TapTransparency, TheHostSeesTheSameSessionAndTheCaptureHoldsIt) {
  const HostLog direct = directSession();
  ASSERT_TRUE(direct.created);
  ASSERT_TRUE(direct.faults.empty()) << describe(direct);

  // Renamed as the panel; the real one beside it under another name.
  TapFolder folder("libVantrel" + kLibrarySuffix);
  folder.addVantrel("Vantrel.real" + kLibrarySuffix);
  folder.writeIni("# Studio A, in front of the real panel\nscript = Vantrel.real" + kLibrarySuffix +
                  "\ncapture=studio-%p.capture\n");
  ASSERT_EQ(folder.ini().filename(), "libVantrel.tap.ini");
  HostLog tapped;
  DebugChannel debug;
  {
    drezhost::ScriptLibrary tap(folder.tap.string());
    tapped = runStudioSession(tap.entry());
  }
  EXPECT_EQ(tapped, direct) << "with the tap:\n"
                            << describe(tapped) << "without:\n"
                            << describe(direct);

  const fs::path capture_path = folder.path / ("studio-" + std::to_string(ourPid()) + ".capture");
  ASSERT_TRUE(fs::exists(capture_path));
  if (auto lines = debug.lines()) {
    EXPECT_THAT(*lines, ElementsAre("drez_tap: recording " +
                                    (folder.path / ("Vantrel.real" + kLibrarySuffix)).u8string() +
                                    " into " + capture_path.u8string()));
  }

  const Capture capture = drezcapture::readCaptureFile(capture_path.string());
  EXPECT_TRUE(capture.complete()) << capture.describe();
  const auto& begin = std::get<drezcapture::BeginEntry>(capture.entries.at(0));
  EXPECT_EQ(begin.pid, static_cast<int64_t>(ourPid()));
  // The tap's own spelling of the path (Windows: with its drive letter).
  EXPECT_TRUE(
      fs::equivalent(fs::u8path(*begin.library), folder.path / ("Vantrel.real" + kLibrarySuffix)));
  EXPECT_EQ(begin.started->size(), 15u);  // 20261208-142501

  // Every command, in order, with its result.
  std::vector<std::string> commands;
  std::set<int64_t> host_replies;
  for (const Entry& entry : capture.entries) {
    if (const auto* command = std::get_if<CommandEntry>(&entry)) {
      commands.push_back(command->text.value_or("(none)"));
      if (command->result.kind == ResultKind::kReply) host_replies.insert(command->result.number);
    }
  }
  EXPECT_EQ(commands, direct.commands);
  EXPECT_EQ(host_replies.size(), direct.repliesHandedOut);

  // Every host call, and where each ends.
  const std::size_t script_replies = static_cast<std::size_t>(
      std::count_if(direct.replies.begin(), direct.replies.end(),
                    [](const std::string& reply) { return reply != "(null)"; }));
  std::map<EntryKind, std::size_t> counts = countKinds(capture);
  EXPECT_EQ(counts[EntryKind::kBegin], 1u);
  EXPECT_EQ(counts[EntryKind::kExport], 1u);
  EXPECT_EQ(counts[EntryKind::kDevice], kSessionDeviceUpdates);
  EXPECT_EQ(counts[EntryKind::kControl], 1u);
  EXPECT_EQ(counts[EntryKind::kRequest], kSessionRequests);
  EXPECT_EQ(counts[EntryKind::kRelease], script_replies + 1);  // and the release of null
  EXPECT_EQ(counts[EntryKind::kEvent], 1u);
  EXPECT_EQ(counts[EntryKind::kNotify], 2u);
  EXPECT_EQ(counts[EntryKind::kCallback], 3u);  // kinds 0 and 8, a null device update
  EXPECT_EQ(counts[EntryKind::kDelete], 1u);
  EXPECT_EQ(counts[EntryKind::kHandBack], direct.repliesReleased);
  EXPECT_EQ(counts[EntryKind::kStopped], 0u);
  const std::size_t host_calls =
      1 + kSessionDeviceUpdates + 1 + kSessionRequests + script_replies + 1 + 1 + 2 + 3 + 1;
  const std::size_t open_commands = 1;  // the statesheet with the route change inside
  EXPECT_EQ(counts[EntryKind::kEnd], host_calls + open_commands);

  for (const Entry& entry : capture.entries) {
    if (drezcapture::kindOf(entry) != EntryKind::kBegin) {
      EXPECT_EQ(drezcapture::headOf(entry).script, 1);
    }
  }
}

TEST(TapTransparency, AHostCallFromInsideACommandIsInsideItInTheCapture) {
  TapFolder folder;
  folder.addVantrel("real" + kLibrarySuffix);
  folder.writeIni("script=real" + kLibrarySuffix + "\ncapture=c.capture\n");
  DebugChannel debug;
  {
    drezhost::ScriptLibrary tap(folder.tap.string());
    runStudioSession(tap.entry());
  }
  const Capture capture = drezcapture::readCaptureFile(folder.capture()->string());
  std::size_t open_at = 0;
  for (std::size_t i = 0; i < capture.entries.size(); ++i) {
    const auto* command = std::get_if<CommandEntry>(&capture.entries[i]);
    if (command != nullptr && command->result.kind == ResultKind::kOpen) open_at = i;
  }
  ASSERT_NE(open_at, 0u);
  const auto& open = std::get<CommandEntry>(capture.entries[open_at]);
  EXPECT_EQ(open.text, "TP 'statesheet=QZ_Studio_TX' '1' 'StA_Floor'");
  EXPECT_EQ(open.head.depth, 1);
  const auto& inside = std::get<drezcapture::DeviceEntry>(capture.entries.at(open_at + 1));
  EXPECT_EQ(inside.head.depth, 2);
  EXPECT_EQ(inside.text, "CAM 3");
  // The update's own commands, its end, then the command's end.
  std::size_t at = open_at + 2;
  while (drezcapture::kindOf(capture.entries.at(at)) == EntryKind::kCommand) ++at;
  EXPECT_EQ(std::get<drezcapture::EndEntry>(capture.entries.at(at)).opening, open_at + 1);
  const auto& end = std::get<drezcapture::EndEntry>(capture.entries.at(at + 1));
  EXPECT_EQ(end.opening, open_at);
  EXPECT_EQ(end.result.kind, ResultKind::kInteger);
  EXPECT_EQ(end.result.number, 1);
}

TEST(TapScripts, SeveralScriptsOfOneLibraryShareOneCapture) {
  TapFolder folder;
  folder.addVantrel("real" + kLibrarySuffix);
  folder.writeIni("script=real" + kLibrarySuffix + "\ncapture=c-%p.capture\n");
  DebugChannel debug;
  {
    drezhost::ScriptLibrary tap(folder.tap.string());
    drezhost::RecordingHost first_host, second_host;
    drez_client_callback* first = tap.entry()(&first_host, "a");
    drez_client_callback* second = tap.entry()(&second_host, "b");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    first->callback(reinterpret_cast<void*>(intptr_t{1}), CB_EVENT_ID);
    second->callback(reinterpret_cast<void*>(intptr_t{2}), CB_EVENT_ID);
    drez_delete_script(first);
    second->callback(reinterpret_cast<void*>(intptr_t{3}), CB_EVENT_ID);
    drez_delete_script(second);
    EXPECT_THAT(first_host.commands(), ::testing::Contains("ET 1"));
    EXPECT_THAT(second_host.commands(), ::testing::Contains("ET 3"));
  }
  std::size_t captures = 0;
  for (const auto& entry : fs::directory_iterator(folder.path)) {
    captures += entry.path().extension() == ".capture" ? 1 : 0;
  }
  EXPECT_EQ(captures, 1u);
  const Capture capture = drezcapture::readCaptureFile(folder.capture()->string());
  EXPECT_TRUE(capture.complete());
  std::vector<std::pair<int64_t, std::string>> events;
  for (const Entry& entry : capture.entries) {
    if (const auto* command = std::get_if<CommandEntry>(&entry)) {
      if (command->text->compare(0, 3, "ET ") == 0) {
        events.emplace_back(command->head.script, *command->text);
      }
    }
  }
  EXPECT_THAT(events, ElementsAre(std::make_pair(int64_t{1}, std::string("ET 1")),
                                  std::make_pair(int64_t{2}, std::string("ET 2")),
                                  std::make_pair(int64_t{2}, std::string("ET 3"))));
}

TEST(TapCaptureFile, AnExistingCaptureIsNeverReplaced) {
  TapFolder folder;
  folder.addVantrel("real" + kLibrarySuffix);
  folder.writeIni("script=real" + kLibrarySuffix + "\ncapture=studio.capture\n");
  std::ofstream(folder.path / "studio.capture", std::ios::binary) << "yesterday's\n";
  std::ofstream(folder.path / "studio.1.capture", std::ios::binary) << "and the day before\n";
  DebugChannel debug;
  {
    drezhost::ScriptLibrary tap(folder.tap.string());
    drezhost::RecordingHost host;
    drez_delete_script(tap.entry()(&host, "p"));
  }
  EXPECT_EQ(folder.text(folder.path / "studio.capture"), "yesterday's\n");
  EXPECT_EQ(folder.text(folder.path / "studio.1.capture"), "and the day before\n");
  EXPECT_TRUE(drezcapture::readCaptureFile((folder.path / "studio.2.capture").string()).complete());
}

#if defined(__linux__)
TEST(TapLibrary, TheRealLibraryGoesWhenTheHostClosesTheTap) {
  TapFolder folder;
  folder.addVantrel("real.so");
  folder.writeIni("script=real.so\n");
  DebugChannel debug;
  {
    drezhost::ScriptLibrary tap(folder.tap.string());
    drezhost::RecordingHost host;
    drez_delete_script(tap.entry()(&host, "p"));
    void* loaded = dlopen((folder.path / "real.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(loaded, nullptr);
    if (loaded != nullptr) dlclose(loaded);
  }
  void* still_loaded = dlopen((folder.path / "real.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
  EXPECT_EQ(still_loaded, nullptr);
  if (still_loaded != nullptr) dlclose(still_loaded);
}
#endif

// The captures kept for the replay as fixtures must stay readable.
TEST(TapFixtures, EveryKeptCaptureReads) {
  std::size_t read = 0;
  for (const auto& entry : fs::directory_iterator(DREZ_TAP_FIXTURES_DIR)) {
    if (entry.path().extension() != ".capture") continue;
    SCOPED_TRACE(entry.path().string());
    const Capture capture = drezcapture::readCaptureFile(entry.path().string());
    EXPECT_FALSE(capture.entries.empty());
    // Only the fixtures named so end cut.
    const bool cut = entry.path().filename().string().find("cut") != std::string::npos;
    EXPECT_EQ(capture.complete(), !cut) << capture.describe();
    ++read;
  }
  EXPECT_GE(read, 3u);
}

}  // namespace
}  // namespace dreztaptest
