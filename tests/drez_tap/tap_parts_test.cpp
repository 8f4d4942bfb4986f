// The tap's parts on their own: the configuration's lines and encodings,
// the capture name's placeholders, the debug line, and the call recorder's
// numbering and nesting where a host misbehaves (releases of pointers never
// handed out, calls nested without end, calls an exception ended, seen or
// not), at every limit.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "call_recorder.h"
#include "capture_reader.h"
#include "drez_client_callback.h"
#include "drez_client_host.h"
#include "drez_records.h"
#include "memory_sink.h"
#include "tap_config.h"
#include "tap_debug.h"

namespace dreztap {
namespace {

using ::testing::ElementsAre;

TEST(TapConfigLines, KeysBlanksNotesAndProblems) {
  const TapConfig config = parseTapConfig(
      "\xEF\xBB\xBF# a note\r\n  script =  C:\\studio\\Vantrel.real.dll \r\n\r\n"
      "capture=cap %p %t.capture\nmax_bytes=1048576\nnothing\n=x\n",
      "Vantrel.tap.ini");
  EXPECT_EQ(config.script, "C:\\studio\\Vantrel.real.dll");
  EXPECT_EQ(config.capture, "cap %p %t.capture");
  EXPECT_EQ(config.maxBytes, 1048576u);
  EXPECT_THAT(config.problems,
              ElementsAre("Vantrel.tap.ini:6: ignored 'nothing' (not script=, capture= or "
                          "max_bytes=)",
                          "Vantrel.tap.ini:7: ignored '=x' (not script=, capture= or max_bytes=)"));
}

TEST(TapConfigLines, MaxBytesMustBeAPlainNumber) {
  for (const char* value : {"", "-1", "12k", "1e9", "99999999999999999999999"}) {
    SCOPED_TRACE(value);
    const TapConfig config = parseTapConfig(std::string("max_bytes=") + value, "t.ini");
    EXPECT_EQ(config.maxBytes, kDefaultMaxBytes);
    ASSERT_EQ(config.problems.size(), 1u);
    EXPECT_EQ(config.problems[0], std::string("t.ini:1: max_bytes=") + value +
                                      " is not a number of bytes; using 268435456");
  }
  EXPECT_EQ(parseTapConfig("max_bytes=0", "t.ini").maxBytes, 0u);
}

// UTF-8 with or without its mark, UTF-16 with its mark in either order;
// anything else is left for the ANSI code page.
TEST(TapConfigLines, EachEncodingIsRecognised) {
  const std::string u_umlaut = "\xC3\xBC";  // ü in UTF-8
  const struct {
    const char* name;
    std::string bytes;
    std::string text;
    ConfigEncoding encoding;
  } cases[] = {
      {"ASCII", "script=a.dll\n", "script=a.dll\n", ConfigEncoding::kUtf8},
      {"UTF-8", "script=" + u_umlaut + ".dll", "script=" + u_umlaut + ".dll",
       ConfigEncoding::kUtf8},
      {"UTF-8 with its mark", "\xEF\xBB\xBFscript=" + u_umlaut, "script=" + u_umlaut,
       ConfigEncoding::kUtf8},
      {"UTF-16, little-endian", std::string("\xFF\xFEs\0=\0\xFC\0\r\0\n\0", 12),
       "s=" + u_umlaut + "\r\n", ConfigEncoding::kUtf16Le},
      {"UTF-16, big-endian, a pair of surrogates", std::string("\xFE\xFF\0s\xD8\x3D\xDE\x00", 8),
       "s\xF0\x9F\x98\x80", ConfigEncoding::kUtf16Be},
      {"UTF-16, a lone surrogate and an odd byte", std::string("\xFF\xFE\x00\xD8x", 5),
       "\xEF\xBF\xBD", ConfigEncoding::kUtf16Le},
      {"the ANSI code page: a lone 0xFC", "script=\xFC.dll", "script=\xFC.dll",
       ConfigEncoding::kLegacy},
      {"an overlong form", "script=\xC0\xAF", "script=\xC0\xAF", ConfigEncoding::kLegacy},
      {"a surrogate in UTF-8", "\xED\xA0\x80", "\xED\xA0\x80", ConfigEncoding::kLegacy},
      {"cut in a sequence", "script=\xE2\x82", "script=\xE2\x82", ConfigEncoding::kLegacy},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const DecodedConfig decoded = decodeConfigText(c.bytes);
    EXPECT_EQ(decoded.text, c.text);
    EXPECT_EQ(decoded.encoding, c.encoding);
  }
  EXPECT_STREQ(encodingName(ConfigEncoding::kUtf16Le), "UTF-16 (little-endian)");
}

TEST(TapDebugLine, ControlBytesInATextAreEscapedAndTheLineIsCut) {
  DebugLine line;
  line << "C:\\studio\nnew\rline\ttab\x1B\x7F \xC3\xBC " << int64_t{-12};
  EXPECT_STREQ(line.text(), "drez_tap: C:\\studio\\nnew\\rline\\ttab\\x1B\\x7F \xC3\xBC -12");
  DebugLine longest;
  longest << std::string(2 * DebugLine::kMaxLength, '\n').c_str();
  EXPECT_EQ(std::string(longest.text()).size(), DebugLine::kMaxLength);
  EXPECT_EQ(std::string(longest.text()).find('\n'), std::string::npos);
}

TEST(TapConfigLines, CaptureNamePlaceholders) {
  EXPECT_EQ(expandCaptureName("studio-%p-%t.capture", 4242, "20261208-142501"),
            "studio-4242-20261208-142501.capture");
  EXPECT_EQ(expandCaptureName("100%%-%x-%", 1, "t"), "100%-%x-%");
}

// ---- The recorder ------------------------------------------------------------

using drezcapture::MemorySink;

uint64_t frozenClock() { return 1000; }

// Stack marks as a host's calls would have them: each level deeper in the
// stack than the one around it.
constexpr CallRecorder::StackMark kOuter = 100000;
constexpr CallRecorder::StackMark kInside = 90000;
constexpr CallRecorder::StackMark kDeeper = 80000;
constexpr CallRecorder::StackMark kDeepest = 70000;

class RecorderTest : public ::testing::Test {
 protected:
  RecorderTest() {
    writer.writeHeader();
    // Script 1, made.
    recorder.exportCalled(1, "p", true, kOuter);
    recorder.exportReturned(true, kOuter);
  }
  std::string text() const { return sink.room.substr(0, static_cast<std::size_t>(writer.bytes())); }
  drezcapture::Capture read() { return drezcapture::parseCapture(text(), "capture"); }
  // The lines after the header and the export.
  std::vector<std::string> lines() {
    const std::string all_text = text();
    std::vector<std::string> all;
    std::size_t at = all_text.find('\n') + 1;
    while (at < all_text.size()) {
      const std::size_t end = all_text.find('\n', at);
      all.push_back(all_text.substr(at, end - at));
      at = end + 1;
    }
    all.erase(all.begin(), all.begin() + 2);
    return all;
  }

  MemorySink sink;
  drezcapture::CaptureWriter writer{sink, 1u << 30};
  CallRecorder recorder{writer, &frozenClock};
};

TEST_F(RecorderTest, RepliesAreNumberedAndAReleaseNamesItsNumber) {
  static const char kHostReply[] = "3 0";
  static const char kScriptReply[] = "myParam=abc";
  char request[] = "return=all";
  recorder.callbackCalled(1, request, CB_HOST_REQUEST, kOuter);
  recorder.commandCalled(1, "SD 'RIR Tally Infodriver'", HOST_CMD_EXECUTE, kInside);
  recorder.commandReturned(reinterpret_cast<intptr_t>(kHostReply), kInside);
  recorder.commandCalled(1, kHostReply, HOST_CMD_RELEASE, kInside);
  recorder.commandReturned(0, kInside);
  recorder.commandCalled(1, "SD 'nothing'", HOST_CMD_EXECUTE, kInside);
  recorder.commandReturned(0, kInside);
  recorder.commandCalled(1, kHostReply, HOST_CMD_RELEASE,
                         kInside);  // a second time: no longer held
  recorder.commandReturned(0, kInside);
  recorder.commandCalled(1, nullptr, 9, kInside);
  recorder.commandReturned(-4, kInside);
  recorder.callbackReturned(kScriptReply, kOuter);
  recorder.callbackCalled(1, const_cast<char*>(kScriptReply), CB_RELEASE_REPLY, kOuter);
  recorder.callbackReturned(nullptr, kOuter);
  recorder.callbackCalled(1, const_cast<char*>(kHostReply), CB_RELEASE_REPLY,
                          kOuter);  // never the script's
  recorder.callbackReturned(nullptr, kOuter);
  EXPECT_THAT(
      lines(),
      ElementsAre("0 0 1 request text=\"return=all\"",
                  "0 1 1 command text=\"SD 'RIR Tally Infodriver'\" result=reply 1 "
                  "\"3 0\"",
                  "0 1 1 hand-back reply=1 result=0",
                  "0 1 1 command text=\"SD 'nothing'\" result=null",
                  "0 1 1 hand-back reply=unknown result=0", "0 1 1 other-command kind=9 result=-4",
                  "0 0 1 end result=reply 2 \"myParam=abc\"", "0 0 1 release reply=2",
                  "0 0 1 end result=null", "0 0 1 release reply=unknown", "0 0 1 end result=null"));
  EXPECT_TRUE(read().complete());
}

// Nothing waits for the end of a call: every entry is the file's as it is
// written, so that a host that dies leaves all of it.
TEST_F(RecorderTest, EachEntryIsInTheFileAsSoonAsItIsWritten) {
  const std::size_t before = lines().size();
  recorder.callbackCalled(1, reinterpret_cast<void*>(intptr_t{5}), CB_EVENT_ID, kOuter);
  EXPECT_EQ(lines().size(), before + 1);
  recorder.commandCalled(1, "ET 5", HOST_CMD_EXECUTE, kInside);
  recorder.commandReturned(1, kInside);
  EXPECT_EQ(lines().size(), before + 2);
  recorder.callbackReturned(nullptr, kOuter);
  EXPECT_EQ(lines().size(), before + 3);
  EXPECT_EQ(sink.extends, 1u);  // the first room made is room enough
}

TEST_F(RecorderTest, ACommandWithAHostCallInsideIsWrittenOpen) {
  alignas(DeviceUpdate) char storage[sizeof(DeviceUpdate) + 8] = {};
  auto* update = reinterpret_cast<DeviceUpdate*>(storage);
  update->device = 7;
  update->index = 97;
  update->number = 3;
  recorder.exportCalled(2, nullptr, true, kOuter);
  recorder.commandCalled(2, "TP 'x'", HOST_CMD_EXECUTE, kInside);
  recorder.callbackCalled(1, update, CB_DEVICE_UPDATE, kDeeper);
  recorder.commandCalled(1, "TP 'y'", HOST_CMD_EXECUTE, kDeepest);
  recorder.commandReturned(1, kDeepest);
  recorder.callbackReturned(nullptr, kDeeper);
  recorder.commandReturned(0, kInside);
  recorder.exportReturned(true, kOuter);
  recorder.exportCalled(3, "no host", false, kOuter);
  recorder.exportReturned(false, kOuter);
  EXPECT_THAT(lines(),
              ElementsAre("0 0 2 export path=none", "0 1 2 command text=\"TP 'x'\" result=open",
                          "0 2 1 device device=7 index=97 number=3 text=\"\"",
                          "0 3 1 command text=\"TP 'y'\" result=1", "0 2 1 end result=null",
                          "0 1 2 end result=0", "0 0 2 end result=script",
                          "0 0 3 export path=\"no host\" host=0", "0 0 3 end result=null"));
  EXPECT_TRUE(read().complete());
}

TEST_F(RecorderTest, CallsNestedTooDeepStopTheRecording) {
  for (int i = 0; i <= CallRecorder::kMaxDepth; ++i) {
    recorder.callbackCalled(1, reinterpret_cast<void*>(intptr_t{i}), CB_EVENT_ID,
                            kOuter - static_cast<CallRecorder::StackMark>(i) * 100);
  }
  EXPECT_FALSE(recorder.recording());
  const drezcapture::Capture capture = read();
  EXPECT_TRUE(capture.stopped);
  EXPECT_EQ(std::get<drezcapture::StoppedEntry>(capture.entries.back()).reason,
            "the calls nested deeper than 64");
  EXPECT_EQ(capture.openCalls, static_cast<std::size_t>(CallRecorder::kMaxDepth));
  // Nothing more is written, and the calls still return.
  const std::string before = text();
  recorder.callbackReturned(nullptr, kOuter - 6400);
  recorder.commandCalled(1, "ET 1", HOST_CMD_EXECUTE, kDeepest);
  recorder.commandReturned(1, kDeepest);
  EXPECT_EQ(text(), before);
}

// Calls an exception ended: seen as it passes (exceptionPassed), or
// recognised afterwards by where the next call enters, or returns.
struct ExceptionCase {
  const char* name;
  std::function<void(CallRecorder&)> calls;
  std::vector<std::string> lines;
  bool complete;
};

TEST_F(RecorderTest, CallsAnExceptionEndedAreWrittenAsEnded) {
  void* const id = reinterpret_cast<void*>(intptr_t{7});
  const std::vector<ExceptionCase> cases = {
      {"an exception passes the tap after a command",
       [id](CallRecorder& r) {
         r.callbackCalled(1, id, CB_EVENT_ID, kOuter);
         r.commandCalled(1, "ET 7", HOST_CMD_EXECUTE, kInside);
         r.commandReturned(1, kInside);
         r.exceptionPassed(kOuter);
       },
       {"0 0 1 event id=7", "0 1 1 command text=\"ET 7\" result=1", "0 0 1 end result=exception"},
       true},
      {"an exception out of the host's command passes both",
       [id](CallRecorder& r) {
         r.callbackCalled(1, id, CB_EVENT_ID, kOuter);
         r.commandCalled(1, "SD 'x'", HOST_CMD_EXECUTE, kInside);
         r.exceptionPassed(kInside);
         r.exceptionPassed(kOuter);
       },
       {"0 0 1 event id=7", "0 1 1 command text=\"SD 'x'\" result=exception",
        "0 0 1 end result=exception"},
       true},
      {"unseen, inside a command: the host calls again, at the same place",
       [id](CallRecorder& r) {
         r.callbackCalled(1, id, CB_EVENT_ID, kOuter);
         r.commandCalled(1, "TP 'a'", HOST_CMD_EXECUTE, kInside);
         r.callbackCalled(1, id, CB_EVENT_ID, kOuter);
         r.callbackReturned(nullptr, kOuter);
       },
       {"0 0 1 event id=7", "0 1 1 command text=\"TP 'a'\" result=exception",
        "0 0 1 end result=exception", "0 0 1 event id=7", "0 0 1 end result=null"},
       true},
      {"unseen, inside an open command's host call: the host deletes from higher up",
       [id](CallRecorder& r) {
         r.callbackCalled(1, id, CB_EVENT_ID, kInside);
         r.commandCalled(1, "TP 'a'", HOST_CMD_EXECUTE, kDeeper);
         r.callbackCalled(1, id, CB_EVENT_ID, kDeepest);
         r.deleteCalled(1, 1, kOuter);
         r.deleteReturned(kOuter);
       },
       {"0 0 1 event id=7", "0 1 1 command text=\"TP 'a'\" result=open", "0 2 1 event id=7",
        "0 2 1 end result=exception", "0 1 1 end result=exception", "0 0 1 end result=exception",
        "0 0 1 delete flags=1", "0 0 1 end result=done"},
       true},
      {"the script caught the host's exception and sends the next command",
       [id](CallRecorder& r) {
         r.callbackCalled(1, id, CB_EVENT_ID, kOuter);
         r.commandCalled(1, "TP 'a'", HOST_CMD_EXECUTE, kInside);
         r.commandCalled(1, "TP 'b'", HOST_CMD_EXECUTE, kInside);
         r.commandReturned(1, kInside);
         r.callbackReturned(nullptr, kOuter);
       },
       {"0 0 1 event id=7", "0 1 1 command text=\"TP 'a'\" result=exception",
        "0 1 1 command text=\"TP 'b'\" result=1", "0 0 1 end result=null"},
       true},
      {"the script caught the host's exception and returns",
       [id](CallRecorder& r) {
         r.callbackCalled(1, id, CB_EVENT_ID, kOuter);
         r.commandCalled(1, "TP 'a'", HOST_CMD_EXECUTE, kInside);
         r.callbackReturned(nullptr, kOuter);
       },
       {"0 0 1 event id=7", "0 1 1 command text=\"TP 'a'\" result=exception",
        "0 0 1 end result=null"},
       true},
      {"unseen, and the tap closes above it",
       [id](CallRecorder& r) {
         r.callbackCalled(1, id, CB_EVENT_ID, kInside);
         r.close(kOuter);
       },
       {"0 0 1 event id=7", "0 0 1 end result=exception"},
       true},
      {"the host exits from inside a call: it stays open",
       [id](CallRecorder& r) {
         r.callbackCalled(1, id, CB_EVENT_ID, kOuter);
         r.close(kDeepest);
       },
       {"0 0 1 event id=7"},
       false},
      {"an exception out of the export",
       [](CallRecorder& r) {
         r.exportCalled(2, "p", true, kOuter);
         r.exceptionPassed(kOuter);
       },
       {"0 0 2 export path=\"p\"", "0 0 2 end result=exception"},
       true},
  };
  for (const ExceptionCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemorySink case_sink;
    drezcapture::CaptureWriter case_writer(case_sink, 1u << 30);
    case_writer.writeHeader();
    CallRecorder case_recorder(case_writer, &frozenClock);
    case_recorder.exportCalled(1, "p", true, kOuter);
    case_recorder.exportReturned(true, kOuter);
    c.calls(case_recorder);
    const std::string all = case_sink.room.substr(0, static_cast<std::size_t>(case_writer.bytes()));
    std::vector<std::string> got;
    std::istringstream in(all);
    for (std::string line; std::getline(in, line);) got.push_back(line);
    got.erase(got.begin(), got.begin() + 3);  // the header, the export and its end
    EXPECT_THAT(got, ::testing::ElementsAreArray(c.lines));
    EXPECT_EQ(drezcapture::parseCapture(all, "capture").complete(), c.complete);
  }
}

// A session with every kind of nesting, recorded under every limit from
// nothing to past its whole length: the file never grows past the limit
// and always reads, up to where it stopped.
TEST(RecorderLimits, EveryLimitLeavesACaptureThatReads) {
  const auto session = [](CallRecorder& r) {
    alignas(DeviceUpdate) char storage[sizeof(DeviceUpdate) + 8] = {};
    auto* update = reinterpret_cast<DeviceUpdate*>(storage);
    static const char kReply[] = "3 0";
    r.begin("20261208-142501", 42, "real");
    r.exportCalled(1, "panels", true, kOuter);
    r.commandCalled(1, "SD 'x'", HOST_CMD_EXECUTE, kInside);
    r.commandReturned(reinterpret_cast<intptr_t>(kReply), kInside);
    r.commandCalled(1, kReply, HOST_CMD_RELEASE, kInside);
    r.commandReturned(0, kInside);
    r.exportReturned(true, kOuter);
    r.callbackCalled(1, update, CB_DEVICE_UPDATE, kOuter);
    r.commandCalled(1, "TP 'a'", HOST_CMD_EXECUTE, kInside);
    r.callbackCalled(1, reinterpret_cast<void*>(intptr_t{5}), CB_EVENT_ID, kDeeper);
    r.commandCalled(1, "ET 5", HOST_CMD_EXECUTE, kDeepest);
    r.commandReturned(1, kDeepest);
    r.callbackReturned(nullptr, kDeeper);
    r.commandReturned(1, kInside);
    r.callbackReturned(nullptr, kOuter);
    r.callbackCalled(1, reinterpret_cast<void*>(intptr_t{6}), CB_EVENT_ID, kOuter);
    r.exceptionPassed(kOuter);
    r.deleteCalled(1, 1, kOuter);
    r.commandCalled(1, "AS", HOST_CMD_EXECUTE, kInside);
    r.commandReturned(1, kInside);
    r.deleteReturned(kOuter);
  };
  MemorySink whole_sink;
  drezcapture::CaptureWriter whole_writer(whole_sink, UINT64_MAX);
  whole_writer.writeHeader();
  CallRecorder whole_recorder(whole_writer, &frozenClock);
  session(whole_recorder);
  const std::string whole =
      whole_sink.room.substr(0, static_cast<std::size_t>(whole_writer.bytes()));
  ASSERT_TRUE(drezcapture::parseCapture(whole, "whole").complete());

  for (uint64_t limit = 0; limit <= whole.size() + drezcapture::CaptureWriter::kStoppedReserve;
       ++limit) {
    SCOPED_TRACE(limit);
    MemorySink sink(0);
    drezcapture::CaptureWriter writer(sink, limit);
    writer.writeHeader();
    CallRecorder recorder(writer, &frozenClock);
    session(recorder);
    writer.close();
    EXPECT_LE(sink.room.size(), limit);
    drezcapture::Capture capture;
    ASSERT_NO_THROW(capture = drezcapture::parseCapture(sink.room, "cut"));
    if (limit >= drezcapture::CaptureWriter::kLeastMaxBytes) {
      EXPECT_TRUE(capture.stopped || sink.room == whole);
    }
  }
}

}  // namespace
}  // namespace dreztap
