// The capture format: what a recording of one panel host process is made of,
// as one table that the writer and the reader both use, and the one rule by
// which texts are escaped. docs/capture_format.md describes it for people.
//
// A capture is text, one entry per line, each line ending in LF. The first
// line is the header, "drez-capture 1". Every other line is
//
//   <ms> <depth> <script> <keyword> <name>=<value> ...
//
// <ms> is the time since the capture began, in milliseconds; <depth> the
// number of calls open around the entry (a call the host makes from inside a
// command is one deeper than the command); <script> the number the capture
// gave the script concerned (1 for the first export, 2 for the next, ...; 0
// for none). The fields follow in the order of the entry's row below.
//
// A file may end in NUL bytes: the rest of the room the tap had made for
// the capture, when its host died before the tap could trim it. They are
// no part of the capture, which is what comes before them.
//
// Depends on nothing but the C++ standard library and the binary contract's
// command vocabulary. Everything here is pure: no state, no allocation, safe
// on any thread.

#ifndef CAPTURE_CAPTURE_FORMAT_H_
#define CAPTURE_CAPTURE_FORMAT_H_

#include <cstddef>
#include <cstdint>

namespace drezcapture {

// The header line, without its line end.
constexpr const char kHeaderName[] = "drez-capture";
constexpr int kFormatVersion = 1;

// How a field's value is written.
enum class FieldType {
  // A signed decimal number: "-12".
  kInteger,
  // An escaped text between double quotes, or `none` for a null pointer.
  kText,
  // Texts between brackets, separated by blanks: ["a" "b"]; [] for none.
  kTextList,
  // A reply by its number: "3"; `none` for a null pointer; `unknown` for a
  // pointer that was never seen as a reply (or was already handed back).
  kReply,
  // What a call returned (see ResultKind).
  kResult,
};

// What a call returned, as a kResult field writes it.
enum class ResultKind {
  kNull,       // `null`: a null pointer (no script, no reply, nothing)
  kScript,     // `script`: the export returned a script
  kDone,       // `done`: the deletion ran
  kPointer,    // `pointer`: a non-null pointer that is no reply (its text is not read)
  kOpen,       // `open`: a command whose host calls follow, one deeper, until its `end`
  kInteger,    // a number: the host's result of a command without a reply
  kReply,      // `reply <n> "<text>"`: a reply, numbered, with its text
  kException,  // `exception`: the call ended by an exception instead of returning
};

// The value of a kReply field.
struct ReplyRef {
  enum class Kind { kNone, kUnknown, kNumber };
  Kind kind;
  uint64_t number;  // for kNumber: 1 and up

  static ReplyRef none() { return {Kind::kNone, 0}; }
  static ReplyRef unknown() { return {Kind::kUnknown, 0}; }
  static ReplyRef numbered(uint64_t number) { return {Kind::kNumber, number}; }
  bool operator==(const ReplyRef& other) const {
    return kind == other.kind && number == other.number;
  }
};

// The kinds of entries, in the order of kEntryRows.
enum class EntryKind {
  kBegin,         // the capture's first entry: when, which process, which library
  kExport,        // the host calls the export
  kDevice,        // callback kind 1, a device update
  kControl,       // callback kind 2, a control event
  kRequest,       // callback kind 3, a property request
  kRelease,       // callback kind 5: the host hands a reply of the script back
  kEvent,         // callback kind 4, an event id
  kNotify,        // callback kinds 6 and 7
  kCallback,      // callback of any other kind, or kind 1 or 2 with a null record
  kDelete,        // the host destroys the script through slot 0
  kCommand,       // the script executes a command (HOST_CMD_EXECUTE)
  kHandBack,      // the script hands a reply of the host back (HOST_CMD_RELEASE)
  kOtherCommand,  // the script calls `command` with any other kind
  kEnd,           // the innermost open call returns
  kStopped,       // recording stopped here; nothing follows
};
constexpr int kEntryKindCount = static_cast<int>(EntryKind::kStopped) + 1;

// Whether an entry opens a call that an `end` closes.
enum class Opens {
  kNothing,
  kHostCall,  // always: its `end` follows once the script returns
  kIfOpen,    // a script's call to the host: only when its result is `open`
};

struct FieldRow {
  const char* name;  // before the '='
  FieldType type;
  const char* what;  // for errors: "expected <what>, found '...'"
  // kInteger: the values the field may hold; a reader refuses others.
  int64_t least;
  int64_t most;
  // kInteger: the field is left out of a line where it holds `omitted`,
  // and a line without it holds `omitted`. Always the row's last field.
  bool optional;
  int64_t omitted;
  // kInteger: the value reaches the script as a 32-bit int (an event id
  // is `int` to a handler); a reader notes a wider one.
  bool studioInt;
};

constexpr FieldRow textField(const char* name, const char* what) {
  return {name, FieldType::kText, what, 0, 0, false, 0, false};
}
constexpr FieldRow typedField(const char* name, FieldType type, const char* what) {
  return {name, type, what, 0, 0, false, 0, false};
}
constexpr FieldRow integerField(const char* name, const char* what, int64_t least = INT64_MIN,
                                int64_t most = INT64_MAX) {
  return {name, FieldType::kInteger, what, least, most, false, 0, false};
}
// A 32-bit field of a host record: DeviceUpdate's device, index, number.
constexpr FieldRow recordField(const char* name, const char* what) {
  return integerField(name, what, INT32_MIN, INT32_MAX);
}

constexpr int kMaxFields = 6;

struct EntryRow {
  EntryKind kind;
  const char* keyword;
  Opens opens;
  int fieldCount;
  FieldRow fields[kMaxFields];
};

// THE table of entry kinds: keyword and fields, in the order of EntryKind.
// Adding an entry kind is adding a row here, an enumerator above, and its
// struct in capture_reader.h.
constexpr EntryRow kEntryRows[kEntryKindCount] = {
    {EntryKind::kBegin,
     "begin",
     Opens::kNothing,
     3,
     {textField("started", "a start time"), integerField("pid", "a process id", 0),
      textField("library", "the panel library's path")}},
    {EntryKind::kExport,
     "export",
     Opens::kHostCall,
     2,
     {textField("path", "a path text"),
      // host=0: the host gave no host object (a null pointer).
      {"host", FieldType::kInteger, "0 or 1 for host", 0, 1, true, 1, false}}},
    {EntryKind::kDevice,
     "device",
     Opens::kHostCall,
     4,
     {recordField("device", "a device number"), recordField("index", "an index"),
      recordField("number", "a number"), textField("text", "an update text")}},
    {EntryKind::kControl,
     "control",
     Opens::kHostCall,
     6,
     {textField("id", "a control id"), textField("command", "a command text"),
      textField("name", "the parsed name"),
      typedField("parts", FieldType::kTextList, "a list of parts"),
      textField("value", "the parsed value"),
      integerField("has_value", "0 or 1 for has_value", 0, 1)}},
    {EntryKind::kRequest, "request", Opens::kHostCall, 1, {textField("text", "a request text")}},
    {EntryKind::kRelease,
     "release",
     Opens::kHostCall,
     1,
     {typedField("reply", FieldType::kReply, "a reply number")}},
    {EntryKind::kEvent,
     "event",
     Opens::kHostCall,
     1,
     {{"id", FieldType::kInteger, "an event id", INT64_MIN, INT64_MAX, false, 0, true}}},
    {EntryKind::kNotify,
     "notify",
     Opens::kHostCall,
     2,
     {integerField("kind", "a notify kind", 6, 7), integerField("value", "a notify value")}},
    {EntryKind::kCallback,
     "callback",
     Opens::kHostCall,
     2,
     {integerField("kind", "a callback kind", INT32_MIN, INT32_MAX),
      integerField("data", "a data value")}},
    {EntryKind::kDelete,
     "delete",
     Opens::kHostCall,
     1,
     {integerField("flags", "the deletion's flags", 0, UINT32_MAX)}},
    {EntryKind::kCommand,
     "command",
     Opens::kIfOpen,
     2,
     {textField("text", "a command text"),
      typedField("result", FieldType::kResult, "a command result")}},
    {EntryKind::kHandBack,
     "hand-back",
     Opens::kIfOpen,
     2,
     {typedField("reply", FieldType::kReply, "a reply number"),
      typedField("result", FieldType::kResult, "a command result")}},
    {EntryKind::kOtherCommand,
     "other-command",
     Opens::kIfOpen,
     2,
     {integerField("kind", "a command kind", INT32_MIN, INT32_MAX),
      typedField("result", FieldType::kResult, "a command result")}},
    {EntryKind::kEnd,
     "end",
     Opens::kNothing,
     1,
     {typedField("result", FieldType::kResult, "a result")}},
    {EntryKind::kStopped, "stopped", Opens::kNothing, 1, {textField("reason", "a reason text")}},
};

// True for the calls of the host into a script (the entries an `end`
// always closes).
constexpr bool isHostCall(EntryKind kind) {
  return kEntryRows[static_cast<int>(kind)].opens == Opens::kHostCall;
}

constexpr const EntryRow& entryRow(EntryKind kind) { return kEntryRows[static_cast<int>(kind)]; }

// A `callback` entry holds what no other entry can say: a callback kind
// outside 1 to 7, or kind 1 or 2 with a null record (data=0). Kinds 3 to 7,
// and 1 and 2 with their records, always have entries of their own.
constexpr bool isPlainCallback(int64_t kind, int64_t data) {
  return kind < 1 || kind > 7 || ((kind == 1 || kind == 2) && data == 0);
}

// An `other-command` holds a command kind other than 0 (executing a text,
// `command`) and 5 (handing a reply back, `hand-back`).
constexpr bool isOtherCommandKind(int64_t kind) { return kind != 0 && kind != 5; }

// The words of a kResult field, in the order of ResultKind (empty for the
// kinds that are written otherwise).
constexpr const char* kResultWords[] = {"null", "script", "done",  "pointer",
                                        "open", "",       "reply", "exception"};
// The words of a kReply field that are not numbers.
constexpr const char kNoneWord[] = "none";
constexpr const char kUnknownWord[] = "unknown";

// True for the commands whose result is a reply the script hands back, by
// their first two characters, as hosts tell them (abi/drez_commands.h).
// `text` may be null.
bool carriesReply(const char* text);

// ---- The escaping rule: the one place where texts are quoted --------------
//
// Inside the quotes, the printable ASCII bytes 0x20 to 0x7E stand for
// themselves except '"' and '\'; those are \" and \\; LF, CR and TAB are
// \n, \r and \t; every other byte (0x00 to 0x1F, 0x7F, 0x80 to 0xFF) is \xHH
// with two upper-case hex digits. So a capture is pure ASCII, holds no line
// break inside an entry, and every byte survives the round trip.

// Writes the escaped form of `byte` into `out` (room for 4) and returns its
// length, 1 to 4.
std::size_t escapeByte(unsigned char byte, char* out);

// The length of the escaped form of `size` bytes at `data`, quotes excluded.
std::size_t escapedLength(const char* data, std::size_t size);

// Reads one escape sequence starting at `at` (which points at the '\') and
// before `end`; sets `*byte` and returns the number of characters read, or 0
// when the sequence is malformed.
std::size_t unescapeSequence(const char* at, const char* end, unsigned char* byte);

}  // namespace drezcapture

#endif  // CAPTURE_CAPTURE_FORMAT_H_
