// The capture format: what the writer writes for each entry kind, exactly;
// that the reader gives back every field, and every byte of every text;
// the errors for lines that are not the format; captures cut anywhere; the
// writer's limit, its full buffer and a sink that fails.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "capture_reader.h"
#include "capture_writer.h"

namespace drezcapture {
namespace {

using ::testing::HasSubstr;

// Keeps what the writer hands over; fails from the chosen write on.
class StringSink final : public CaptureSink {
 public:
  bool write(const char* data, std::size_t size) override {
    ++writes;
    if (fail_from != 0 && writes >= fail_from) return false;
    text.append(data, size);
    return true;
  }
  std::string text;
  std::size_t writes = 0;
  std::size_t fail_from = 0;  // 0: never
};

const std::string kHeader = "drez-capture 1\n";

// Writes entries with a writer over a StringSink.
struct Written {
  explicit Written(uint64_t maxBytes = 1u << 30) : writer(sink, maxBytes) {
    EXPECT_TRUE(writer.writeHeader());
  }
  bool add(uint64_t ms, int depth, int64_t script, EntryKind kind,
           const std::vector<FieldValue>& values) {
    return writer.write({ms, depth, script}, kind, values.data(), static_cast<int>(values.size()));
  }
  std::string flushed() {
    writer.flush();
    return sink.text;
  }
  StringSink sink;
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
  int depth;  // 1: inside an export, which an `end` ends at depth 0
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
       {text("panels")},
       "export path=\"panels\"",
       [](const Entry& e) { EXPECT_EQ(std::get<ExportEntry>(e).path, "panels"); }},
      {"export with a null path",
       0,
       EntryKind::kExport,
       {text(nullptr)},
       "export path=none",
       [](const Entry& e) { EXPECT_EQ(std::get<ExportEntry>(e).path, std::nullopt); }},
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
         EXPECT_EQ(std::get<EndEntry>(e).opening, 0u);
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
    if (c.depth == 1) {
      ASSERT_TRUE(w.add(0, 0, 1, EntryKind::kExport, {text("p")}));
    }
    const int depth = c.kind == EntryKind::kEnd ? 0 : c.depth;
    ASSERT_TRUE(w.add(12, depth, 1, c.kind, c.values));
    const std::string all = w.flushed();
    const std::string line = "12 " + std::to_string(depth) + " 1 " + c.line + "\n";
    ASSERT_GE(all.size(), line.size());
    EXPECT_EQ(all.substr(all.size() - line.size()), line);

    const Capture capture = parse(all);
    ASSERT_EQ(capture.entries.size(), c.depth == 1 ? 2u : 1u);
    const Entry& entry = capture.entries.back();
    EXPECT_EQ(kindOf(entry), c.kind);
    EXPECT_EQ(headOf(entry).ms, 12u);
    EXPECT_EQ(headOf(entry).depth, depth);
    EXPECT_EQ(headOf(entry).script, 1);
    EXPECT_EQ(headOf(entry).line, c.depth == 1 ? 3u : 2u);
    c.check(entry);
  }
}

TEST(CaptureEntries, TheWriterRefusesValuesThatDoNotMatchTheRow) {
  Written w;
  EXPECT_FALSE(w.add(0, 0, 1, EntryKind::kDevice, {integer(1)}));                   // too few
  EXPECT_FALSE(w.add(0, 0, 1, EntryKind::kEvent, {text("5")}));                     // wrong type
  EXPECT_FALSE(w.writer.write({0, 0, 1}, static_cast<EntryKind>(99), nullptr, 0));  // no such kind
  EXPECT_EQ(w.flushed(), kHeader);
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
    const char* const list[] = {original.c_str(), original.c_str()};
    ASSERT_TRUE(w.add(0, 0, 1, EntryKind::kRequest, {text(original.c_str())}));
    ASSERT_TRUE(w.add(0, 1, 1, EntryKind::kCommand,
                      {text(original.c_str()), result(ResultValue::reply(1, original.c_str()))}));
    ASSERT_TRUE(w.add(0, 1, 1, EntryKind::kControl,
                      {text(original.c_str()), text(""), text(""), FieldValue::ofList(list, 2),
                       text(""), integer(0)}));
    const std::string all = w.flushed();
    // Pure ASCII, and no line break but the entries' own.
    for (char c : all) ASSERT_TRUE(c == '\n' || (c >= 0x20 && c <= 0x7E)) << int(c);
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 4);

    const Capture capture = parse(all);
    ASSERT_EQ(capture.entries.size(), 3u);
    EXPECT_EQ(std::get<RequestEntry>(capture.entries[0]).text, original);
    EXPECT_EQ(std::get<CommandEntry>(capture.entries[1]).text, original);
    EXPECT_EQ(std::get<CommandEntry>(capture.entries[1]).result.text, original);
    EXPECT_EQ(std::get<ControlEntry>(capture.entries[2]).parts,
              (std::vector<Text>{original, original}));
  }
}

TEST(CaptureTexts, EscapesAreTheDocumentedOnes) {
  Written w;
  ASSERT_TRUE(w.add(0, 0, 0, EntryKind::kRequest, {text("\"\\\n\r\t\x01\x7F\x80\xFF~ ")}));
  EXPECT_EQ(w.flushed(),
            kHeader + "0 0 0 request text=\"\\\"\\\\\\n\\r\\t\\x01\\x7F\\x80\\xFF~ \"\n");
  // The reader takes lower-case hex digits too, and \x00 for a NUL.
  const Capture capture = parse(kHeader + "0 0 0 request text=\"\\xff\\x00a\"\n");
  EXPECT_EQ(std::get<RequestEntry>(capture.entries[0]).text, std::string("\xFF\0a", 3));
}

// ---- Lines that are not the format ------------------------------------------

TEST(CaptureErrors, EachMalformedLineIsNamedWithWhatWasExpected) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"0 0 1 device device=x index=1 number=2 text=\"\"",
       "capture.txt:2: expected a device number, found 'x'"},
      {"0 0 1 device device=1 index=1 text=\"\"",
       "capture.txt:2: expected 'number=', found 'text=\"\"'"},
      {"0 0 1 device device=1 index=1 number=2 text=\"abc",
       "capture.txt:2: an update text has no closing quote"},
      {"0 0 1 device device=1 index=1 number=2 text=\"a\\qb\"",
       "capture.txt:2: malformed escape '\\qb\"' in an update text"},
      {"0 0 1 device device=1 index=1 number=2 text=\"a\\x4\"",
       "capture.txt:2: malformed escape '\\x4\"' in an update text"},
      {"0 0 1 device device=1 index=1 number=2 text=\"\xE9\"",
       "capture.txt:2: a byte that must be escaped in an update text"},
      {"0 0 1 device device=1 index=1 number=2 text=\"\" extra=1",
       "capture.txt:2: expected the end of the line, found 'extra=1'"},
      {"0 0 1 device device=1 index=1 number=2 text=abc",
       "capture.txt:2: expected an update text, found 'abc'"},
      {"0 0 1 tally slot=1", "capture.txt:2: unknown entry 'tally'"},
      {"x 0 1 event id=5", "capture.txt:2: expected a time in milliseconds, found 'x'"},
      {"0 -1 1 event id=5", "capture.txt:2: expected a depth, found '-1'"},
      {"0 1 1 event id=5", "capture.txt:2: 'event' at depth 1 where it should be at depth 0"},
      {"0 0 1 event id=5\n0 1 1 end result=null",
       "capture.txt:3: 'end' at depth 1 where it should be at depth 0"},
      {"0 0 1 end result=null", "capture.txt:2: 'end' with no call open"},
      {"0 0 1 event id=99999999999999999999", "capture.txt:2: an event id out of range"},
      {"0 0 1 event id=5x", "capture.txt:2: expected an event id, found '5x'"},
      {"0 0 1 release reply=0", "capture.txt:2: expected a reply number, found '0'"},
      {"0 0 1 event  id=5", "capture.txt:2: expected 'id=', found ' id=5'"},
      {"0 0 1 event", "capture.txt:2: expected 'id=', found the end of the line"},
      {"0 0 1 delete flags=1\n0 0 1 end result=open", "capture.txt:3: 'end' cannot be open"},
      {"0 0 1 delete flags=1\n0 1 1 command text=\"x\" result=reply x \"a\"",
       "capture.txt:3: expected a reply number, found 'x'"},
      {"0 0 1 control id=none command=none name=none parts=[\"a\"\"b\"] value=none has_value=0",
       "capture.txt:2: expected a list of parts, found '\"b\"]'"},
      {"0 0 1 stopped reason=\"full\"\n0 0 1 event id=5",
       "capture.txt:3: an entry after the capture stopped"},
  };
  for (const auto& [lines, message] : cases) {
    SCOPED_TRACE(lines);
    try {
      parse(kHeader + lines + "\n");
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

TEST(CaptureErrors, NotesBlankLinesAndCrlfLineEndsAreRead) {
  const Capture capture =
      parse("drez-capture 1\r\n# a note\r\n\r\n0 0 1 event id=5\r\n0 0 1 end result=null\r\n");
  ASSERT_EQ(capture.entries.size(), 2u);
  EXPECT_EQ(headOf(capture.entries[1]).line, 5u);
  EXPECT_TRUE(capture.complete());
}

// ---- Nesting and captures cut anywhere --------------------------------------

// An export with a command, a request answered from inside a command of a
// second script, and a deletion.
std::string nestedCapture() {
  Written w;
  w.add(0, 0, 0, EntryKind::kBegin, {text("20261208-142501"), integer(1), text("lib")});
  w.add(0, 0, 1, EntryKind::kExport, {text("panels")});
  w.add(0, 1, 1, EntryKind::kCommand, {text("PS '1' 'x'"), result(ResultValue::integer(1))});
  w.add(1, 0, 1, EntryKind::kEnd, {resultOf(ResultKind::kScript)});
  w.add(5, 0, 1, EntryKind::kDevice, {integer(1), integer(2), integer(3), text("a")});
  w.add(5, 1, 1, EntryKind::kCommand, {text("TP 'x'"), resultOf(ResultKind::kOpen)});
  w.add(5, 2, 2, EntryKind::kRequest, {text("return=all")});
  w.add(5, 2, 2, EntryKind::kEnd, {result(ResultValue::reply(1, "all"))});
  w.add(5, 1, 1, EntryKind::kEnd, {result(ResultValue::integer(1))});
  w.add(6, 0, 1, EntryKind::kEnd, {resultOf(ResultKind::kNull)});
  w.add(9, 0, 1, EntryKind::kDelete, {integer(1)});
  w.add(9, 1, 1, EntryKind::kCommand, {text("AS"), result(ResultValue::integer(1))});
  w.add(9, 0, 1, EntryKind::kEnd, {resultOf(ResultKind::kDone)});
  return w.flushed();
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
  const Capture inside = parse(whole.substr(0, whole.find("5 2 2 end")));
  EXPECT_EQ(inside.openCalls, 3u);
  EXPECT_EQ(inside.completeEntries, 4u);
  EXPECT_EQ(inside.describe(), "cut: complete up to line 5 (4 of 7 entries); 3 calls open");
}

// ---- The writer's limit, buffer and sink ------------------------------------

TEST(CaptureWriterLimit, PastMaxBytesOneStoppedLineEndsTheCapture) {
  const uint64_t max_bytes = 1000;
  Written w(max_bytes);
  int written = 0;
  while (w.add(0, 0, 1, EntryKind::kCommand, {text("ET 5"), result(ResultValue::integer(1))})) {
    ++written;
  }
  EXPECT_EQ(w.writer.state(), CaptureWriter::State::kStopped);
  EXPECT_FALSE(
      w.add(0, 0, 1, EntryKind::kCommand, {text("ET 5"), result(ResultValue::integer(1))}));
  const std::string all = w.flushed();
  EXPECT_LE(all.size(), max_bytes);
  EXPECT_GT(all.size(), max_bytes - CaptureWriter::kStoppedReserve);
  EXPECT_THAT(all,
              ::testing::EndsWith("0 0 1 stopped reason=\"the capture reached max_bytes=1000\"\n"));
  const Capture capture = parse(all);
  EXPECT_TRUE(capture.stopped);
  EXPECT_EQ(capture.entries.size(), static_cast<std::size_t>(written) + 1);
}

TEST(CaptureWriterLimit, AnEntryLongerThanTheBufferGoesOutInPieces) {
  Written w;
  const std::string long_text(3 * CaptureWriter::kBufferSize, '\x01');  // 4 bytes each escaped
  ASSERT_TRUE(w.add(0, 0, 1, EntryKind::kRequest, {text(long_text.c_str())}));
  EXPECT_GE(w.sink.writes, 12u);
  EXPECT_EQ(std::get<RequestEntry>(parse(w.flushed()).entries[0]).text, long_text);
}

TEST(CaptureWriterLimit, ASinkThatFailsStopsTheWriterAndSaysSoOnce) {
  Written w;
  std::vector<CaptureWriter::State> notices;
  w.writer.setStopNotice(
      [](void* context, CaptureWriter::State state) {
        static_cast<std::vector<CaptureWriter::State>*>(context)->push_back(state);
      },
      &notices);
  w.sink.fail_from = 2;  // the header went; nothing after does
  EXPECT_TRUE(w.add(0, 0, 1, EntryKind::kEvent, {integer(1)}));  // buffered
  EXPECT_FALSE(w.writer.flush());
  EXPECT_FALSE(w.add(0, 0, 1, EntryKind::kEvent, {integer(2)}));
  EXPECT_FALSE(w.writer.flush());
  EXPECT_EQ(w.writer.state(), CaptureWriter::State::kFailed);
  EXPECT_EQ(notices, std::vector<CaptureWriter::State>{CaptureWriter::State::kFailed});
  EXPECT_EQ(w.sink.text, kHeader);
}

}  // namespace
}  // namespace drezcapture
