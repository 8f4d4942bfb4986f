// The capture format: what the writer writes for each entry kind, exactly;
// that the reader gives back every field, and every byte of every text;
// the errors for lines that are not the format, and for files that are none;
// captures cut anywhere, or ending in the NUL bytes of a dead host; the
// writer's limit at every byte, its room and a sink that fails.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "capture_reader.h"
#include "capture_writer.h"
#include "memory_sink.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace drezcapture {
namespace {

using ::testing::HasSubstr;

const std::string kHeader = "drez-capture 1\n";
// Script 1, made and returned: what a call of it needs before it.
const std::string kScript1 = "0 0 1 export path=\"p\"\n0 0 1 end result=script\n";

// Writes entries with a writer over a MemorySink.
struct Written {
  explicit Written(uint64_t maxBytes = 1u << 30, std::size_t step = 4096)
      : sink(step), writer(sink, maxBytes) {
    EXPECT_TRUE(writer.writeHeader());
  }
  bool add(uint64_t ms, int64_t script, EntryKind kind, const std::vector<FieldValue>& values) {
    return writer.write({ms, script}, kind, values.data(), static_cast<int>(values.size()));
  }
  // Script 1's export, returned.
  void script1() {
    EXPECT_TRUE(add(0, 1, EntryKind::kExport, {FieldValue::ofText("p"), FieldValue::ofInteger(1)}));
    EXPECT_TRUE(
        add(0, 1, EntryKind::kEnd, {FieldValue::ofResult(ResultValue::of(ResultKind::kScript))}));
  }
  // What was written so far.
  std::string text() const { return sink.room.substr(0, static_cast<std::size_t>(writer.bytes())); }
  MemorySink sink;
  CaptureWriter writer;
};

Capture parse(const std::string& text) { return parseCapture(text, "capture.txt"); }

FieldValue integer(int64_t value) { return FieldValue::ofInteger(value); }
FieldValue text(const char* value) { return FieldValue::ofText(value); }
FieldValue result(ResultValue value) { return FieldValue::ofResult(value); }
FieldValue resultOf(ResultKind kind) { return FieldValue::ofResult(ResultValue::of(kind)); }

// ---- Every entry kind: its exact line, and its fields read back -------------

const char* const kParts[] = {"a", nullptr, "c d"};
const char* const kPieces[] = {"press", "a", nullptr, "c d", "1"};
const char kSeparators[] = {'\0', '.', '.', '.', '='};

struct KindCase {
  const char* name;
  int depth;  // 1: inside a call, which an `end` ends at depth 0
  EntryKind kind;
  std::vector<FieldValue> values;
  const char* line;
  std::function<void(const Entry&)> check;
};

std::vector<KindCase> kindCases() {
  return {
      {"begin",
       0,
       EntryKind::kBegin,
       {text("20261208-142501"), integer(4242), text("C:\\studio\\Vantrel.real.dll")},
       "begin started=\"20261208-142501\" pid=4242 library=\"C:\\\\studio\\\\Vantrel.real.dll\"",
       [](const Entry& e) {
         const auto& b = std::get<BeginEntry>(e);
         EXPECT_EQ(b.started, "20261208-142501");
         EXPECT_EQ(b.pid, 4242);
         EXPECT_EQ(b.library, "C:\\studio\\Vantrel.real.dll");
       }},
      {"export",
       0,
       EntryKind::kExport,
       {text("panels"), integer(1)},
       "export path=\"panels\"",
       [](const Entry& e) {
         EXPECT_EQ(std::get<ExportEntry>(e).path, "panels");
         EXPECT_TRUE(std::get<ExportEntry>(e).host);
       }},
      {"export with a null path",
       0,
       EntryKind::kExport,
       {text(nullptr), integer(1)},
       "export path=none",
       [](const Entry& e) { EXPECT_EQ(std::get<ExportEntry>(e).path, std::nullopt); }},
      {"export without a host",
       0,
       EntryKind::kExport,
       {text("p"), integer(0)},
       "export path=\"p\" host=0",
       [](const Entry& e) { EXPECT_FALSE(std::get<ExportEntry>(e).host); }},
      {"device",
       0,
       EntryKind::kDevice,
       {integer(21), integer(97), integer(-3), text("CAM 1")},
       "device device=21 index=97 number=-3 text=\"CAM 1\"",
       [](const Entry& e) {
         const auto& d = std::get<DeviceEntry>(e);
         EXPECT_EQ(d.device, 21);
         EXPECT_EQ(d.index, 97);
         EXPECT_EQ(d.number, -3);
         EXPECT_EQ(d.text, "CAM 1");
       }},
      {"control",
       0,
       EntryKind::kControl,
       {text("StA_Floor"), FieldValue::ofJoinedText(kPieces, kSeparators, 5), text("press"),
        FieldValue::ofList(kParts, 3), text("1"), integer(1)},
       "control id=\"StA_Floor\" command=\"press.a..c d=1\" name=\"press\" parts=[\"a\" none "
       "\"c d\"] value=\"1\" has_value=1",
       [](const Entry& e) {
         const auto& c = std::get<ControlEntry>(e);
         EXPECT_EQ(c.id, "StA_Floor");
         EXPECT_EQ(c.command, "press.a..c d=1");
         EXPECT_EQ(c.name, "press");
         EXPECT_EQ(c.parts, (std::vector<Text>{"a", std::nullopt, "c d"}));
         EXPECT_EQ(c.value, "1");
         EXPECT_TRUE(c.hasValue);
       }},
      {"control without parts",
       0,
       EntryKind::kControl,
       {text(nullptr), text(nullptr), text(nullptr), FieldValue::ofList(nullptr, 0), text(nullptr),
        integer(0)},
       "control id=none command=none name=none parts=[] value=none has_value=0",
       [](const Entry& e) {
         const auto& c = std::get<ControlEntry>(e);
         EXPECT_EQ(c.id, std::nullopt);
         EXPECT_TRUE(c.parts.empty());
         EXPECT_FALSE(c.hasValue);
       }},
      {"request",
       0,
       EntryKind::kRequest,
       {text("return=all")},
       "request text=\"return=all\"",
       [](const Entry& e) { EXPECT_EQ(std::get<RequestEntry>(e).text, "return=all"); }},
      {"release",
       0,
       EntryKind::kRelease,
       {FieldValue::ofReply(ReplyRef::numbered(7))},
       "release reply=7",
       [](const Entry& e) { EXPECT_EQ(std::get<ReleaseEntry>(e).reply, ReplyRef::numbered(7)); }},
      {"release of a pointer never seen",
       0,
       EntryKind::kRelease,
       {FieldValue::ofReply(ReplyRef::unknown())},
       "release reply=unknown",
       [](const Entry& e) { EXPECT_EQ(std::get<ReleaseEntry>(e).reply, ReplyRef::unknown()); }},
      {"release of null",
       0,
       EntryKind::kRelease,
       {FieldValue::ofReply(ReplyRef::none())},
       "release reply=none",
       [](const Entry& e) { EXPECT_EQ(std::get<ReleaseEntry>(e).reply, ReplyRef::none()); }},
      {"event",
       0,
       EntryKind::kEvent,
       {integer(5)},
       "event id=5",
       [](const Entry& e) { EXPECT_EQ(std::get<EventEntry>(e).id, 5); }},
      {"notify",
       0,
       EntryKind::kNotify,
       {integer(6), integer(66)},
       "notify kind=6 value=66",
       [](const Entry& e) {
         EXPECT_EQ(std::get<NotifyEntry>(e).kind, 6);
         EXPECT_EQ(std::get<NotifyEntry>(e).value, 66);
       }},
      {"callback of another kind",
       0,
       EntryKind::kCallback,
       {integer(8), integer(INT64_MIN)},
       "callback kind=8 data=-9223372036854775808",
       [](const Entry& e) {
         EXPECT_EQ(std::get<CallbackEntry>(e).kind, 8);
         EXPECT_EQ(std::get<CallbackEntry>(e).data, INT64_MIN);
       }},
      {"delete",
       0,
       EntryKind::kDelete,
       {integer(1)},
       "delete flags=1",
       [](const Entry& e) { EXPECT_EQ(std::get<DeleteEntry>(e).flags, 1); }},
      {"command with a result",
       1,
       EntryKind::kCommand,
       {text("PS '1' 'p1.drez_ui'"), result(ResultValue::integer(1))},
       "command text=\"PS '1' 'p1.drez_ui'\" result=1",
       [](const Entry& e) {
         const auto& c = std::get<CommandEntry>(e);
         EXPECT_EQ(c.text, "PS '1' 'p1.drez_ui'");
         EXPECT_EQ(c.result.kind, ResultKind::kInteger);
         EXPECT_EQ(c.result.number, 1);
       }},
      {"command with a reply",
       1,
       EntryKind::kCommand,
       {text("SD 'RIR SDI Router'"), result(ResultValue::reply(3, "21 0"))},
       "command text=\"SD 'RIR SDI Router'\" result=reply 3 \"21 0\"",
       [](const Entry& e) {
         const auto& c = std::get<CommandEntry>(e);
         EXPECT_EQ(c.result.kind, ResultKind::kReply);
         EXPECT_EQ(c.result.number, 3);
         EXPECT_EQ(c.result.text, "21 0");
       }},
      {"command without a reply",
       1,
       EntryKind::kCommand,
       {text("TG '1' 'x' 'all'"), resultOf(ResultKind::kNull)},
       "command text=\"TG '1' 'x' 'all'\" result=null",
       [](const Entry& e) { EXPECT_EQ(std::get<CommandEntry>(e).result.kind, ResultKind::kNull); }},
      {"hand-back",
       1,
       EntryKind::kHandBack,
       {FieldValue::ofReply(ReplyRef::numbered(3)), result(ResultValue::integer(0))},
       "hand-back reply=3 result=0",
       [](const Entry& e) { EXPECT_EQ(std::get<HandBackEntry>(e).reply, ReplyRef::numbered(3)); }},
      {"other-command",
       1,
       EntryKind::kOtherCommand,
       {integer(7), result(ResultValue::integer(-1))},
       "other-command kind=7 result=-1",
       [](const Entry& e) {
         EXPECT_EQ(std::get<OtherCommandEntry>(e).kind, 7);
         EXPECT_EQ(std::get<OtherCommandEntry>(e).result.number, -1);
       }},
      {"end of a request",
       1,
       EntryKind::kEnd,
       {result(ResultValue::reply(4, "myParam=abc"))},
       "end result=reply 4 \"myParam=abc\"",
       [](const Entry& e) {
         EXPECT_EQ(std::get<EndEntry>(e).result.text, "myParam=abc");
         EXPECT_EQ(std::get<EndEntry>(e).opening, 2u);
       }},
      {"end of a call an exception ended",
       1,
       EntryKind::kEnd,
       {resultOf(ResultKind::kException)},
       "end result=exception",
       [](const Entry& e) {
         EXPECT_EQ(std::get<EndEntry>(e).result.kind, ResultKind::kException);
       }},
      {"command an exception ended",
       1,
       EntryKind::kCommand,
       {text("SD 'x'"), resultOf(ResultKind::kException)},
       "command text=\"SD 'x'\" result=exception",
       [](const Entry& e) {
         EXPECT_EQ(std::get<CommandEntry>(e).result.kind, ResultKind::kException);
       }},
      {"stopped",
       1,
       EntryKind::kStopped,
       {text("the capture reached max_bytes=4096")},
       "stopped reason=\"the capture reached max_bytes=4096\"",
       [](const Entry& e) {
         EXPECT_EQ(std::get<StoppedEntry>(e).reason, "the capture reached max_bytes=4096");
       }},
  };
}

TEST(CaptureEntries, EachKindIsWrittenAsItsRowSaysAndReadsBack) {
  for (const KindCase& c : kindCases()) {
    SCOPED_TRACE(c.name);
    Written w;
    // Script 1 made first, and a call of it open for the entries inside one.
    std::size_t before = 0;
    if (c.kind != EntryKind::kBegin && c.kind != EntryKind::kExport) {
      w.script1();
      before = 2;
      if (c.depth == 1) {
        ASSERT_TRUE(w.add(0, 1, EntryKind::kEvent, {integer(1)}));
        before = 3;
      }
    }
    const int64_t script = c.kind == EntryKind::kBegin ? 0 : 1;
    if (c.kind == EntryKind::kStopped) {
      w.writer.stopWith({12, script}, c.values[0].texts.text);
    } else {
      ASSERT_TRUE(w.add(12, script, c.kind, c.values));
    }
    const int depth = c.kind == EntryKind::kEnd ? 0 : c.depth;
    const std::string all = w.text();
    const std::string line =
        "12 " + std::to_string(depth) + " " + std::to_string(script) + " " + c.line + "\n";
    ASSERT_GE(all.size(), line.size());
    EXPECT_EQ(all.substr(all.size() - line.size()), line);

    const Capture capture = parse(all);
    ASSERT_EQ(capture.entries.size(), before + 1);
    const Entry& entry = capture.entries.back();
    EXPECT_EQ(kindOf(entry), c.kind);
    EXPECT_EQ(headOf(entry).ms, 12u);
    EXPECT_EQ(headOf(entry).depth, depth);
    EXPECT_EQ(headOf(entry).script, script);
    EXPECT_EQ(headOf(entry).line, before + 2);
    c.check(entry);
  }
}

TEST(CaptureEntries, TheWriterRefusesValuesThatDoNotMatchTheRow) {
  Written w;
  EXPECT_FALSE(w.add(0, 1, EntryKind::kDevice, {integer(1)}));                   // too few
  EXPECT_FALSE(w.add(0, 1, EntryKind::kEvent, {text("5")}));                     // wrong type
  EXPECT_FALSE(w.writer.write({0, 1}, static_cast<EntryKind>(99), nullptr, 0));  // no such kind
  EXPECT_FALSE(w.add(0, 1, EntryKind::kEnd, {resultOf(ResultKind::kNull)}));     // nothing open
  EXPECT_EQ(w.text(), kHeader);
  EXPECT_TRUE(w.writer.recording());
}

// ---- Texts: every byte survives --------------------------------------------

std::string allBytes() {
  std::string bytes;
  for (int b = 1; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  return bytes;
}

TEST(CaptureTexts, OddTextsSurviveTheRoundTrip) {
  const std::vector<std::pair<const char*, std::string>> texts = {
      {"empty", ""},
      {"quotes", "say \"hi\" '' \""},
      {"backslashes", "\\ \\\\ \\x41 \\n"},
      {"blanks", "  a  b \t "},
      {"line breaks", "one\ntwo\n"},
      {"carriage returns", "a\rb\r\n"},
      {"not UTF-8", "\xC3\x28 \xA0\xA1 \xF0\x28\x8C\x28"},
      {"0xFF", "\xFF\xFF"},
      {"the word none", "none"},
      {"brackets", "[\"a\"] ]"},
      {"every byte but NUL", allBytes()},
      {"very long", std::string(200000, 'x') + "\"\xFF"},
  };
  for (const auto& [name, original] : texts) {
    SCOPED_TRACE(name);
    Written w;
    w.script1();
    const char* const list[] = {original.c_str(), original.c_str()};
    ASSERT_TRUE(w.add(0, 1, EntryKind::kRequest, {text(original.c_str())}));
    ASSERT_TRUE(w.add(0, 1, EntryKind::kCommand,
                      {text(original.c_str()), result(ResultValue::reply(1, original.c_str()))}));
    ASSERT_TRUE(w.add(0, 1, EntryKind::kControl,
                      {text(original.c_str()), text(""), text(""), FieldValue::ofList(list, 2),
                       text(""), integer(0)}));
    const std::string all = w.text();
    // Pure ASCII, and no line break but the entries' own.
    for (char c : all) ASSERT_TRUE(c == '\n' || (c >= 0x20 && c <= 0x7E)) << int(c);
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 6);

    const Capture capture = parse(all);
    ASSERT_EQ(capture.entries.size(), 5u);
    EXPECT_EQ(std::get<RequestEntry>(capture.entries[2]).text, original);
    EXPECT_EQ(std::get<CommandEntry>(capture.entries[3]).text, original);
    EXPECT_EQ(std::get<CommandEntry>(capture.entries[3]).result.text, original);
    EXPECT_EQ(std::get<ControlEntry>(capture.entries[4]).parts,
              (std::vector<Text>{original, original}));
  }
}

TEST(CaptureTexts, EscapesAreTheDocumentedOnes) {
  Written w;
  w.script1();
  ASSERT_TRUE(w.add(0, 1, EntryKind::kRequest, {text("\"\\\n\r\t\x01\x7F\x80\xFF~ ")}));
  EXPECT_EQ(w.text(), kHeader + kScript1 +
                          "0 0 1 request text=\"\\\"\\\\\\n\\r\\t\\x01\\x7F\\x80\\xFF~ \"\n");
  // The reader takes lower-case hex digits too, and \x00 for a NUL.
  const Capture capture = parse(kHeader + kScript1 + "0 0 1 request text=\"\\xff\\x00a\"\n");
  EXPECT_EQ(std::get<RequestEntry>(capture.entries[2]).text, std::string("\xFF\0a", 3));
}

// ---- Lines that are not the format ------------------------------------------

TEST(CaptureErrors, EachMalformedLineIsNamedWithWhatWasExpected) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"0 0 1 device device=x index=1 number=2 text=\"\"",
       "capture.txt:4: expected a device number, found 'x'"},
      {"0 0 1 device device=1 index=1 text=\"\"",
       "capture.txt:4: expected 'number=', found 'text=\"\"'"},
      {"0 0 1 device device=1 index=1 number=2 text=\"abc",
       "capture.txt:4: an update text has no closing quote"},
      {"0 0 1 device device=1 index=1 number=2 text=\"a\\qb\"",
       "capture.txt:4: malformed escape '\\qb\"' in an update text"},
      {"0 0 1 device device=1 index=1 number=2 text=\"a\\x4\"",
       "capture.txt:4: malformed escape '\\x4\"' in an update text"},
      {"0 0 1 device device=1 index=1 number=2 text=\"\xE9\"",
       "capture.txt:4: a byte that must be escaped in an update text"},
      {"0 0 1 device device=1 index=1 number=2 text=\"\" extra=1",
       "capture.txt:4: expected the end of the line, found 'extra=1'"},
      {"0 0 1 device device=1 index=1 number=2 text=abc",
       "capture.txt:4: expected an update text, found 'abc'"},
      {"0 0 1 tally slot=1", "capture.txt:4: unknown entry 'tally'"},
      {"x 0 1 event id=5", "capture.txt:4: expected a time in milliseconds, found 'x'"},
      {"0 -1 1 event id=5", "capture.txt:4: expected a depth, found '-1'"},
      {"0 1 1 event id=5", "capture.txt:4: 'event' at depth 1 where it should be at depth 0"},
      {"0 0 1 event id=5\n0 1 1 end result=null",
       "capture.txt:5: 'end' at depth 1 where it should be at depth 0"},
      {"0 0 1 end result=null", "capture.txt:4: 'end' with no call open"},
      {"0 0 1 event id=99999999999999999999", "capture.txt:4: an event id out of range"},
      {"0 0 1 event id=5x", "capture.txt:4: expected an event id, found '5x'"},
      {"0 0 1 release reply=0", "capture.txt:4: expected a reply number, found '0'"},
      {"0 0 1 event  id=5", "capture.txt:4: expected 'id=', found ' id=5'"},
      {"0 0 1 event", "capture.txt:4: expected 'id=', found the end of the line"},
      {"0 0 1 delete flags=1\n0 0 1 end result=open", "capture.txt:5: 'end' cannot be open"},
      {"0 0 1 delete flags=1\n0 1 1 command text=\"x\" result=reply x \"a\"",
       "capture.txt:5: expected a reply number, found 'x'"},
      {"0 0 1 control id=none command=none name=none parts=[\"a\"\"b\"] value=none has_value=0",
       "capture.txt:4: expected a list of parts, found '\"b\"]'"},
      {"0 0 1 stopped reason=\"full\"\n0 0 1 event id=5",
       "capture.txt:5: an entry after the capture stopped"},
      // Numbers out of their range, kinds that have entries of their own.
      {"0 0 1 device device=4294967296 index=1 number=2 text=\"\"",
       "capture.txt:4: expected a device number from -2147483648 to 2147483647, found "
       "'4294967296'"},
      {"0 0 1 device device=1 index=-2147483649 number=2 text=\"\"",
       "capture.txt:4: expected an index from -2147483648 to 2147483647, found '-2147483649'"},
      {"0 0 1 control id=none command=none name=none parts=[] value=none has_value=2",
       "capture.txt:4: expected 0 or 1 for has_value from 0 to 1, found '2'"},
      {"0 0 1 notify kind=5 value=1",
       "capture.txt:4: expected a notify kind from 6 to 7, found '5'"},
      {"0 0 1 delete flags=-1",
       "capture.txt:4: expected the deletion's flags from 0 to 4294967295, found '-1'"},
      {"0 0 1 callback kind=1 data=4096",
       "capture.txt:4: a callback of kind 1 with data 4096 is no 'callback' entry: that kind has "
       "an entry of its own"},
      {"0 0 1 callback kind=3 data=0",
       "capture.txt:4: a callback of kind 3 with data 0 is no 'callback' entry: that kind has an "
       "entry of its own"},
      {"0 0 1 callback kind=4294967297 data=0",
       "capture.txt:4: expected a callback kind from -2147483648 to 2147483647, found "
       "'4294967297'"},
      {"0 0 1 delete flags=1\n0 1 1 other-command kind=0 result=0",
       "capture.txt:5: a command of kind 0 is no 'other-command' entry: that kind has an entry of "
       "its own"},
      {"0 0 1 end result=thrown", "capture.txt:4: expected a result, found 'thrown'"},
      // Script numbers.
      {"0 0 2 event id=5", "capture.txt:4: 'event' of script 2, which no export created"},
      {"0 0 0 event id=5", "capture.txt:4: 'event' names no script (script 0)"},
      {"0 0 1 export path=\"again\"", "capture.txt:4: script 1 was created before, at line 2"},
      {"0 0 1 begin started=\"x\" pid=1 library=\"l\"", "capture.txt:4: 'begin' names script 1"},
      {"0 0 2 export path=\"q\" host=2",
       "capture.txt:4: expected 0 or 1 for host from 0 to 1, found '2'"},
      {"0 0 2 export path=\"q\" host=",
       "capture.txt:4: expected 0 or 1 for host, found the end of the line"},
  };
  for (const auto& [lines, message] : cases) {
    SCOPED_TRACE(lines);
    try {
      parse(kHeader + kScript1 + lines + "\n");
      ADD_FAILURE() << "no error";
    } catch (const CaptureError& error) {
      EXPECT_EQ(std::string(error.what()), message);
    }
  }
}

TEST(CaptureErrors, TheHeaderNamesTheFormatAndItsVersion) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"hello\n", "capture.txt:1: not a capture: expected 'drez-capture 1', found 'hello'"},
      {"drez-capture 2\n",
       "capture.txt:1: capture version 2 is not supported (this reader reads version 1)"},
      {"drez-capture 1 x\n", "capture.txt:1: expected the end of the header, found 'x'"},
      {"PK\x03\x04", "capture.txt:1: not a capture: expected 'drez-capture 1', found 'PK\x03\x04'"},
  };
  for (const auto& [text, message] : cases) {
    try {
      parse(text);
      ADD_FAILURE() << "no error for " << text;
    } catch (const CaptureError& error) {
      EXPECT_EQ(std::string(error.what()), message);
    }
  }
  EXPECT_THROW(readCaptureFile("/nonexistent/capture.txt"), CaptureError);
}

// What is no regular file is refused before it is opened: a FIFO without a
// writer would keep the reader waiting, a device could be read without end.
TEST(CaptureErrors, WhatIsNoRegularFileIsRefusedUnopened) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("capture_test_" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder / "a.capture");
  std::vector<std::pair<std::string, std::string>> cases = {
      {(folder / "a.capture").string(), ": a directory, not a capture file"},
      {(folder / "none.capture").string(), ": no such file"},
  };
#if !defined(_WIN32)
  ASSERT_EQ(mkfifo((folder / "fifo.capture").c_str(), 0600), 0);
  cases.push_back({(folder / "fifo.capture").string(),
                   ": not a regular file (a FIFO, a device or a socket), not a capture"});
  cases.push_back(
      {"/dev/zero", ": not a regular file (a FIFO, a device or a socket), not a capture"});
#endif
  for (const auto& [path, message] : cases) {
    SCOPED_TRACE(path);
    try {
      readCaptureFile(path);
      ADD_FAILURE() << "no error";
    } catch (const CaptureError& error) {
      EXPECT_EQ(std::string(error.what()), path + message);
    }
  }
  std::filesystem::remove_all(folder);
}

TEST(CaptureErrors, NotesBlankLinesAndCrlfLineEndsAreRead) {
  const Capture capture = parse(
      "drez-capture 1\r\n# a note\r\n\r\n0 0 1 export path=none\r\n0 0 1 end result=script\r\n");
  ASSERT_EQ(capture.entries.size(), 2u);
  EXPECT_EQ(headOf(capture.entries[1]).line, 5u);
  EXPECT_TRUE(capture.complete());
}

TEST(CaptureErrors, EventIdsWiderThan32BitsAreNoted) {
  const Capture capture = parse(kHeader + kScript1 +
                                "0 0 1 event id=4294967301\n0 0 1 end result=null\n"
                                "0 0 1 event id=-2147483648\n0 0 1 end result=null\n"
                                "0 0 1 event id=-2147483649\n0 0 1 end result=null\n");
  EXPECT_THAT(capture.notes,
              ::testing::ElementsAre(
                  "capture.txt:4: event id 4294967301 is wider than 32 bits: a script gets it as 5",
                  "capture.txt:8: event id -2147483649 is wider than 32 bits: a script gets it as "
                  "2147483647"));
  EXPECT_EQ(std::get<EventEntry>(capture.entries[2]).id, 4294967301);
}

// ---- Nesting and captures cut anywhere --------------------------------------

// An export with a command, a request answered from inside a command of
// the script, and a deletion, written until the writer stops.
void writeNested(CaptureWriter& writer) {
  struct Line {
    uint64_t ms;
    int64_t script;
    EntryKind kind;
    std::vector<FieldValue> values;
  };
  const std::vector<Line> lines = {
      {0, 0, EntryKind::kBegin, {text("20261208-142501"), integer(1), text("lib")}},
      {0, 1, EntryKind::kExport, {text("panels"), integer(1)}},
      {0, 1, EntryKind::kCommand, {text("PS '1' 'x'"), result(ResultValue::integer(1))}},
      {1, 1, EntryKind::kEnd, {resultOf(ResultKind::kScript)}},
      {5, 1, EntryKind::kDevice, {integer(1), integer(2), integer(3), text("a")}},
      {5, 1, EntryKind::kCommand, {text("TP 'x'"), resultOf(ResultKind::kOpen)}},
      {5, 1, EntryKind::kRequest, {text("return=all")}},
      {5, 1, EntryKind::kEnd, {result(ResultValue::reply(1, "all"))}},
      {5, 1, EntryKind::kEnd, {result(ResultValue::integer(1))}},
      {6, 1, EntryKind::kEnd, {resultOf(ResultKind::kNull)}},
      {9, 1, EntryKind::kDelete, {integer(1)}},
      {9, 1, EntryKind::kCommand, {text("AS"), result(ResultValue::integer(1))}},
      {9, 1, EntryKind::kEnd, {resultOf(ResultKind::kDone)}},
  };
  for (const Line& line : lines) {
    if (!writer.write({line.ms, line.script}, line.kind, line.values.data(),
                      static_cast<int>(line.values.size()))) {
      return;
    }
  }
}

std::string nestedCapture() {
  Written w;
  writeNested(w.writer);
  return w.text();
}

TEST(CaptureNesting, EndsPointAtTheCallsTheyClose) {
  const Capture capture = parse(nestedCapture());
  ASSERT_EQ(capture.entries.size(), 13u);
  EXPECT_TRUE(capture.complete());
  EXPECT_EQ(capture.describe(), "complete, 13 entries");
  EXPECT_EQ(std::get<EndEntry>(capture.entries[3]).opening, 1u);
  EXPECT_EQ(std::get<EndEntry>(capture.entries[7]).opening, 6u);  // the request
  EXPECT_EQ(std::get<EndEntry>(capture.entries[8]).opening, 5u);  // the open command
  EXPECT_EQ(std::get<EndEntry>(capture.entries[9]).opening, 4u);  // the device update
}

TEST(CaptureNesting, ACaptureCutAnywhereReadsUpToItsLastWholeOutermostCall) {
  const std::string whole = nestedCapture();
  // Where each outermost call ends: after these lines (the header is line 1).
  const std::vector<std::size_t> outermost_ends = {1, 2, 5, 11, 14};
  for (std::size_t size = 0; size <= whole.size(); ++size) {
    SCOPED_TRACE(size);
    const std::string cut = whole.substr(0, size);
    Capture capture;
    ASSERT_NO_THROW(capture = parse(cut));
    const std::size_t whole_lines =
        static_cast<std::size_t>(std::count(cut.begin(), cut.end(), '\n'));
    std::size_t complete_line = 1;
    for (std::size_t end : outermost_ends) {
      if (end <= whole_lines) complete_line = end;
    }
    EXPECT_EQ(capture.completeLine, complete_line);
    EXPECT_EQ(capture.cutLine, !cut.empty() && cut.back() == '\n' ? 0 : whole_lines + 1);
    EXPECT_EQ(capture.complete(),
              capture.cutLine == 0 &&
                  std::count(outermost_ends.begin(), outermost_ends.end(), whole_lines) == 1);
  }
  const Capture inside = parse(whole.substr(0, whole.find("5 2 1 end")));
  EXPECT_EQ(inside.openCalls, 3u);
  EXPECT_EQ(inside.completeEntries, 4u);
  EXPECT_EQ(inside.describe(), "cut: complete up to line 5 (4 of 7 entries); 3 calls open");
}

// A host that died: its capture ends in the NUL bytes of the room the tap
// had made. Cut anywhere, then NULs: it reads as the cut capture does, and
// says how many NULs followed.
TEST(CaptureNesting, ACaptureEndingInNulBytesReadsAsFarAsItGoes) {
  const std::string whole = nestedCapture();
  for (std::size_t size = 0; size <= whole.size(); ++size) {
    SCOPED_TRACE(size);
    const Capture cut = parse(whole.substr(0, size));
    Capture dead;
    ASSERT_NO_THROW(dead = parse(whole.substr(0, size) + std::string(4096 - size % 7, '\0')));
    EXPECT_EQ(dead.nulBytes, 4096 - size % 7);
    EXPECT_EQ(dead.entries.size(), cut.entries.size());
    EXPECT_EQ(dead.completeLine, cut.completeLine);
    EXPECT_EQ(dead.cutLine, cut.cutLine);
    EXPECT_EQ(dead.openCalls, cut.openCalls);
  }
  const Capture dead = parse(whole.substr(0, whole.find("5 2 1 end")) + std::string(100, '\0'));
  EXPECT_EQ(dead.describe(),
            "cut: complete up to line 5 (4 of 7 entries); 3 calls open; then 100 NUL bytes (its "
            "host died)");
  EXPECT_EQ(parse(std::string(50, '\0')).describe(),
            "cut: complete up to line 1 (0 of 0 entries); line 1 cut; then 50 NUL bytes (its host "
            "died)");
  // Anything but NUL after a NUL is no capture.
  try {
    parse(whole.substr(0, 40) + std::string(3, '\0') + "x");
    ADD_FAILURE() << "no error";
  } catch (const CaptureError& error) {
    EXPECT_EQ(std::string(error.what()),
              "capture.txt:2: not a capture: a NUL byte inside it, not only at its end");
  }
}

// ---- The writer's limit, room and sink ------------------------------------

TEST(CaptureWriterLimit, PastMaxBytesOneStoppedLineEndsTheCapture) {
  const uint64_t max_bytes = 1000;
  Written w(max_bytes);
  w.script1();
  ASSERT_TRUE(w.add(0, 1, EntryKind::kEvent, {integer(5)}));
  int written = 0;
  while (w.add(0, 1, EntryKind::kCommand, {text("ET 5"), result(ResultValue::integer(1))})) {
    ++written;
  }
  EXPECT_EQ(w.writer.state(), CaptureWriter::State::kStopped);
  EXPECT_FALSE(w.add(0, 1, EntryKind::kCommand, {text("ET 5"), result(ResultValue::integer(1))}));
  const std::string all = w.text();
  EXPECT_LE(all.size(), max_bytes);
  EXPECT_LE(w.sink.room.size(), max_bytes);  // no room made past it either
  EXPECT_GT(all.size(), max_bytes - CaptureWriter::kStoppedReserve);
  EXPECT_THAT(all,
              ::testing::EndsWith("0 1 1 stopped reason=\"the capture reached max_bytes=1000\"\n"));
  const Capture capture = parse(all);
  EXPECT_TRUE(capture.stopped);
  EXPECT_EQ(capture.openCalls, 1u);
  EXPECT_EQ(capture.entries.size(), static_cast<std::size_t>(written) + 4);
}

// Every limit, from nothing to past the whole: the file never grows past
// it, and reads, up to where it stopped, as the whole does.
TEST(CaptureWriterLimit, EveryLimitLeavesACaptureNoLongerThanItThatReads) {
  const std::string whole = nestedCapture();
  const Capture all = parse(whole);
  for (uint64_t limit = 0; limit <= whole.size() + CaptureWriter::kStoppedReserve + 1; ++limit) {
    SCOPED_TRACE(limit);
    MemorySink sink(64);
    CaptureWriter writer(sink, limit);
    if (writer.writeHeader()) writeNested(writer);
    const std::string text = sink.room.substr(0, static_cast<std::size_t>(writer.bytes()));
    EXPECT_LE(sink.room.size(), limit);
    if (limit < CaptureWriter::kLeastMaxBytes) {
      EXPECT_EQ(text, "");
      continue;
    }
    Capture capture;
    ASSERT_NO_THROW(capture = parse(text));
    if (!capture.stopped) {
      EXPECT_EQ(text, whole);
      continue;
    }
    // All but the `stopped` line is the whole's beginning.
    ASSERT_GE(all.entries.size(), capture.entries.size() - 1);
    const std::size_t stopped_line = text.rfind('\n', text.size() - 2) + 1;
    EXPECT_EQ(text.substr(0, stopped_line), whole.substr(0, stopped_line));
    EXPECT_THAT(text.substr(stopped_line), ::testing::HasSubstr(" stopped reason="));
  }
}

TEST(CaptureWriterLimit, AnEntryLongerThanTheRoomGetsRoomOfItsOwn) {
  Written w(1u << 30, 4096);
  w.script1();
  const std::string long_text(3 * 4096, '\x01');  // 4 bytes each escaped
  ASSERT_TRUE(w.add(0, 1, EntryKind::kRequest, {text(long_text.c_str())}));
  EXPECT_EQ(std::get<RequestEntry>(parse(w.text()).entries[2]).text, long_text);
  EXPECT_GE(w.sink.room.size(), 4 * long_text.size());
}

TEST(CaptureWriterLimit, ClosingTrimsTheRoomToWhatWasWritten) {
  Written w(1u << 30, 1 << 20);
  w.script1();
  EXPECT_EQ(w.sink.room.size(), std::size_t{1} << 20);
  EXPECT_TRUE(w.writer.close());
  EXPECT_TRUE(w.sink.trimmed);
  EXPECT_EQ(w.sink.room, kHeader + kScript1);
  EXPECT_FALSE(w.add(0, 1, EntryKind::kEvent, {integer(1)}));
}

TEST(CaptureWriterLimit, ASinkThatFailsStopsTheWriterAndSaysSoOnce) {
  Written w(1u << 30, 0);  // room for each entry asked for alone
  std::vector<CaptureWriter::StopReason> notices;
  w.writer.setStopNotice(
      [](void* context, CaptureWriter::StopReason reason, const char*) {
        static_cast<std::vector<CaptureWriter::StopReason>*>(context)->push_back(reason);
      },
      &notices);
  w.sink.fail_from = 2;  // the header went; nothing after does
  EXPECT_FALSE(w.add(0, 1, EntryKind::kEvent, {integer(1)}));
  EXPECT_FALSE(w.add(0, 1, EntryKind::kEvent, {integer(2)}));
  EXPECT_EQ(w.writer.state(), CaptureWriter::State::kFailed);
  EXPECT_EQ(notices, std::vector<CaptureWriter::StopReason>{CaptureWriter::StopReason::kFailed});
  EXPECT_EQ(w.text(), kHeader);
}

TEST(CaptureWriterLimit, ALimitBelowTheLeastRecordsNothingAndSaysWhy) {
  MemorySink sink;
  CaptureWriter writer(sink, CaptureWriter::kLeastMaxBytes - 1);
  CaptureWriter::StopReason said = CaptureWriter::StopReason::kFailed;
  writer.setStopNotice(
      [](void* context, CaptureWriter::StopReason reason, const char*) {
        *static_cast<CaptureWriter::StopReason*>(context) = reason;
      },
      &said);
  EXPECT_FALSE(writer.writeHeader());
  EXPECT_EQ(said, CaptureWriter::StopReason::kNoRoom);
  EXPECT_EQ(sink.extends, 0u);
  EXPECT_TRUE(writer.close());
  EXPECT_FALSE(sink.trimmed);
}

}  // namespace
}  // namespace drezcapture
