// The tap's parts on their own: the configuration's lines, the capture
// name's placeholders, and the call recorder's numbering and nesting where
// a host misbehaves (releases of pointers never handed out, calls nested
// without end).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "call_recorder.h"
#include "capture_reader.h"
#include "drez_client_callback.h"
#include "drez_client_host.h"
#include "drez_records.h"
#include "tap_config.h"

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

TEST(TapConfigLines, CaptureNamePlaceholders) {
  EXPECT_EQ(expandCaptureName("studio-%p-%t.capture", 4242, "20261208-142501"),
            "studio-4242-20261208-142501.capture");
  EXPECT_EQ(expandCaptureName("100%%-%x-%", 1, "t"), "100%-%x-%");
}

// ---- The recorder ------------------------------------------------------------

class MemorySink final : public drezcapture::CaptureSink {
 public:
  bool write(const char* data, std::size_t size) override {
    text.append(data, size);
    ++writes;
    return true;
  }
  std::string text;
  std::size_t writes = 0;
};

uint64_t frozenClock() { return 1000; }

class RecorderTest : public ::testing::Test {
 protected:
  RecorderTest() { writer.writeHeader(); }
  drezcapture::Capture read() {
    writer.flush();
    return drezcapture::parseCapture(sink.text, "capture");
  }
  // The lines after the header.
  std::vector<std::string> lines() {
    writer.flush();
    std::vector<std::string> all;
    std::size_t at = sink.text.find('\n') + 1;
    while (at < sink.text.size()) {
      const std::size_t end = sink.text.find('\n', at);
      all.push_back(sink.text.substr(at, end - at));
      at = end + 1;
    }
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
  recorder.callbackCalled(1, request, CB_HOST_REQUEST);
  recorder.commandCalled(1, "SD 'RIR Tally Infodriver'", HOST_CMD_EXECUTE);
  recorder.commandReturned(reinterpret_cast<intptr_t>(kHostReply));
  recorder.commandCalled(1, kHostReply, HOST_CMD_RELEASE);
  recorder.commandReturned(0);
  recorder.commandCalled(1, "SD 'nothing'", HOST_CMD_EXECUTE);
  recorder.commandReturned(0);
  recorder.commandCalled(1, kHostReply, HOST_CMD_RELEASE);  // a second time: no longer held
  recorder.commandReturned(0);
  recorder.commandCalled(1, nullptr, 9);
  recorder.commandReturned(-4);
  recorder.callbackReturned(kScriptReply);
  recorder.callbackCalled(1, const_cast<char*>(kScriptReply), CB_RELEASE_REPLY);
  recorder.callbackReturned(nullptr);
  recorder.callbackCalled(1, const_cast<char*>(kHostReply),
                          CB_RELEASE_REPLY);  // never the script's
  recorder.callbackReturned(nullptr);
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

TEST_F(RecorderTest, EachOutermostCallIsHandedOverWhenItEnds) {
  const std::size_t after_header = sink.writes;
  recorder.callbackCalled(1, reinterpret_cast<void*>(intptr_t{5}), CB_EVENT_ID);
  recorder.commandCalled(1, "ET 5", HOST_CMD_EXECUTE);
  recorder.commandReturned(1);
  EXPECT_EQ(sink.writes, after_header);  // still inside the call
  recorder.callbackReturned(nullptr);
  EXPECT_EQ(sink.writes, after_header + 1);
}

TEST_F(RecorderTest, ACommandWithAHostCallInsideIsWrittenOpen) {
  alignas(DeviceUpdate) char storage[sizeof(DeviceUpdate) + 8] = {};
  auto* update = reinterpret_cast<DeviceUpdate*>(storage);
  update->device = 7;
  update->index = 97;
  update->number = 3;
  recorder.exportCalled(1, nullptr);
  recorder.commandCalled(1, "TP 'x'", HOST_CMD_EXECUTE);
  recorder.callbackCalled(2, update, CB_DEVICE_UPDATE);
  recorder.commandCalled(2, "TP 'y'", HOST_CMD_EXECUTE);
  recorder.commandReturned(1);
  recorder.callbackReturned(nullptr);
  recorder.commandReturned(0);
  recorder.exportReturned(true);
  EXPECT_THAT(lines(),
              ElementsAre("0 0 1 export path=none", "0 1 1 command text=\"TP 'x'\" result=open",
                          "0 2 2 device device=7 index=97 number=3 text=\"\"",
                          "0 3 2 command text=\"TP 'y'\" result=1", "0 2 2 end result=null",
                          "0 1 1 end result=0", "0 0 1 end result=script"));
}

TEST_F(RecorderTest, CallsNestedTooDeepStopTheRecording) {
  for (int i = 0; i <= CallRecorder::kMaxDepth; ++i) {
    recorder.callbackCalled(1, reinterpret_cast<void*>(intptr_t{i}), CB_EVENT_ID);
  }
  EXPECT_FALSE(recorder.recording());
  const drezcapture::Capture capture = read();
  EXPECT_TRUE(capture.stopped);
  EXPECT_EQ(std::get<drezcapture::StoppedEntry>(capture.entries.back()).reason,
            "the calls nested deeper than 64");
  EXPECT_EQ(capture.openCalls, static_cast<std::size_t>(CallRecorder::kMaxDepth));
  // Nothing more is written, and the calls still return.
  const std::size_t size = sink.text.size();
  recorder.callbackReturned(nullptr);
  recorder.commandCalled(1, "ET 1", HOST_CMD_EXECUTE);
  recorder.commandReturned(1);
  EXPECT_EQ(sink.text.size(), size);
}

}  // namespace
}  // namespace dreztap
