// Reads a capture (capture_format.h, docs/capture_format.md) into typed
// entries: one struct per entry kind, together a std::variant in the order
// of EntryKind, so that a caller dispatches with std::visit.
//
// A capture cut at any point (its host killed mid-run, its disk full) reads
// as far as it goes: NUL bytes at its end (the room the tap had made when
// its host died) are passed over, a last line without its line end is left
// out, calls still open at the end stay open, and Capture says how far it
// is complete. Anything else that is not the format is an error naming the
// line:
//   capture.txt:12: expected a device number, found 'x'
//   capture.txt:14: device number 4294967296 out of range (-2147483648 to 2147483647)
//   capture.txt:20: script 2 was created before, at line 9
// So are entries the tap never writes: a kind that has an entry of its own
// written as `callback`, a call of a script no export created, a script
// number created twice.
//
// Threading: pure functions; any thread.

#ifndef CAPTURE_CAPTURE_READER_H_
#define CAPTURE_CAPTURE_READER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "capture_format.h"

namespace drezcapture {

// A text field: nullopt for `none` (a null pointer). May hold any byte.
using Text = std::optional<std::string>;

// What every entry starts with, and where it was read.
struct LineHead {
  uint64_t ms = 0;
  int depth = 0;
  int64_t script = 0;
  std::size_t line = 0;  // 1 is the header
};

// The value of a kResult field.
struct Result {
  ResultKind kind = ResultKind::kNull;
  int64_t number = 0;  // kInteger: the value; kReply: the reply's number
  std::string text;    // kReply: the reply's text
};

// One struct per entry kind, with the fields of its row in kEntryRows.
struct BeginEntry {
  LineHead head;
  Text started;
  int64_t pid = 0;
  Text library;
};
struct ExportEntry {
  LineHead head;
  Text path;
  bool host = true;  // false: the host gave no host object
};
struct DeviceEntry {
  LineHead head;
  int64_t device = 0;
  int64_t index = 0;
  int64_t number = 0;
  Text text;
};
struct ControlEntry {
  LineHead head;
  Text id;
  Text command;  // the command text, rebuilt from its parsed parts
  Text name;
  std::vector<Text> parts;
  Text value;
  bool hasValue = false;
};
struct RequestEntry {
  LineHead head;
  Text text;
};
struct ReleaseEntry {
  LineHead head;
  ReplyRef reply = ReplyRef::none();
};
struct EventEntry {
  LineHead head;
  int64_t id = 0;
};
struct NotifyEntry {
  LineHead head;
  int64_t kind = 0;
  int64_t value = 0;
};
struct CallbackEntry {
  LineHead head;
  int64_t kind = 0;
  int64_t data = 0;
};
struct DeleteEntry {
  LineHead head;
  int64_t flags = 0;
};
struct CommandEntry {
  LineHead head;
  Text text;
  Result result;  // kOpen: its host calls follow, and an EndEntry closes it
};
struct HandBackEntry {
  LineHead head;
  ReplyRef reply = ReplyRef::none();
  Result result;
};
struct OtherCommandEntry {
  LineHead head;
  int64_t kind = 0;
  Result result;
};
struct EndEntry {
  LineHead head;
  Result result;
  std::size_t opening = 0;  // index in Capture::entries of the call it ends
};
struct StoppedEntry {
  LineHead head;
  Text reason;
};

using Entry = std::variant<BeginEntry, ExportEntry, DeviceEntry, ControlEntry, RequestEntry,
                           ReleaseEntry, EventEntry, NotifyEntry, CallbackEntry, DeleteEntry,
                           CommandEntry, HandBackEntry, OtherCommandEntry, EndEntry, StoppedEntry>;
static_assert(std::variant_size_v<Entry> == kEntryKindCount, "one struct per entry kind");

inline EntryKind kindOf(const Entry& entry) { return static_cast<EntryKind>(entry.index()); }
const LineHead& headOf(const Entry& entry);

struct Capture {
  int version = 0;  // 0 when even the header was cut
  std::vector<Entry> entries;

  // How far it is complete. Every entry before `completeEntries` belongs to
  // an outermost call that ended (the rest belong to the call the capture
  // ends in); `completeLine` is the line of the last of them (1, the header,
  // when there is none).
  std::size_t completeEntries = 0;
  std::size_t completeLine = 1;
  // Calls open at the end: the capture ends inside them.
  std::size_t openCalls = 0;
  // The line left out because its line end is missing; 0 for none.
  std::size_t cutLine = 0;
  // The NUL bytes the file ends in: its host died before the tap trimmed
  // the room it had made.
  std::size_t nulBytes = 0;
  // What reaches a script otherwise than the capture says, one line each:
  //   capture.txt:12: event id 4294967301 is wider than 32 bits: a script
  //   gets it as 5
  std::vector<std::string> notes;
  // Recording stopped (a `stopped` entry is the last one).
  bool stopped = false;

  // True when it ends where an outermost call ended, with every line whole
  // and no `stopped` entry.
  bool complete() const { return openCalls == 0 && cutLine == 0 && !stopped; }
  // The host's calls it holds, nested ones included.
  std::size_t hostCalls() const;

  // One line for people: "complete, 41 entries" or "cut: complete up to
  // line 40 (38 of 45 entries); 2 calls open; line 47 cut; then 1048000 NUL
  // bytes (its host died)".
  std::string describe() const;
};

class CaptureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the capture `text`; `name` (a file name) starts every error. Throws
// CaptureError.
Capture parseCapture(std::string_view text, const std::string& name);

// Reads the file at `path` in binary. Throws CaptureError, also when the
// file cannot be read or is no regular file (a directory, a FIFO, a
// device), which it checks before opening it: it never waits for a writer.
Capture readCaptureFile(const std::string& path);

}  // namespace drezcapture

#endif  // CAPTURE_CAPTURE_READER_H_
