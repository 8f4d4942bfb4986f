// Writes a capture (capture_format.h) entry by entry, straight into memory
// that a sink makes room for: a shared mapping of the capture file, so that
// every byte written is the file's at once, with no system call per entry,
// and survives the death of the host's process. It allocates nothing and
// never throws: it is used on the event path of a panel host.
//
// The writer keeps the nesting itself: each entry's depth is the number of
// calls the entries written so far leave open (an `end` stands at the depth
// of the call it closes), so what it writes always reads back.
//
// Bounded: once the next entry would take the capture past its limit, the
// writer writes one final `stopped` entry instead and records nothing more.
// The file never grows past the limit: the sink never makes room past it,
// and a limit too small for the header and a `stopped` entry records
// nothing at all.
//
// Threading: not synchronised; one thread at a time.

#ifndef CAPTURE_CAPTURE_WRITER_H_
#define CAPTURE_CAPTURE_WRITER_H_

#include <cstddef>
#include <cstdint>

#include "capture_format.h"

namespace drezcapture {

// Where the writer's bytes go: the capture file's shared mapping, or memory
// in tests.
class CaptureSink {
 public:
  // Writable memory for the capture, from the byte at `offset` on.
  struct Window {
    char* data = nullptr;  // the byte at `offset`
    uint64_t offset = 0;
    std::size_t size = 0;  // the bytes writable from `data` on
  };

  // Makes at least `size` bytes writable from `offset` on, where the
  // writer has got to (the bytes before it stay as written), and sets
  // `*window`; the file is not made longer than `limit` bytes. A window
  // given before may be gone afterwards. False when no room can be made
  // (a full disk): the writer then stops.
  virtual bool extend(uint64_t offset, std::size_t size, uint64_t limit, Window* window) = 0;

  // The capture ends after its first `size` bytes: the rest of the room
  // made is no part of it. The writer calls it once, when it closes;
  // nothing is written after. False when it fails (the room stays, as NUL
  // bytes a reader passes over).
  virtual bool trim(uint64_t size) = 0;

  // Why the last extend or trim failed ("No space left on device",
  // "Windows error 112"); read only after a failure.
  virtual const char* lastError() const = 0;

 protected:
  ~CaptureSink() = default;
};

// The value of a kResult field.
struct ResultValue {
  ResultKind kind;
  int64_t number;    // kInteger: the value; kReply: the reply's number
  const char* text;  // kReply: the reply's text (may be null, written as empty)

  static ResultValue of(ResultKind kind) { return {kind, 0, nullptr}; }
  static ResultValue integer(int64_t value) { return {ResultKind::kInteger, value, nullptr}; }
  static ResultValue reply(uint64_t number, const char* text) {
    return {ResultKind::kReply, static_cast<int64_t>(number), text};
  }
};

// One field's value; its type must be the type of its field in the table,
// and only the members of that type are read (it is made on the event path
// of every entry, so it holds no more than one type's). Texts are read
// during the write only and stay the caller's.
struct FieldValue {
  // kText and kTextList.
  struct Texts {
    const char* text;         // kText: null is written as `none`; read when `list` is null
    const char* const* list;  // kTextList: `count` texts (null ones as `none`); kText: pieces
    // kText written from pieces (when `list` is set for a kText): each piece
    // preceded by its separator in `separators` ('\0' for none); null
    // pieces read as empty. For a text that exists only in parts.
    const char* separators;
    std::size_t count;
  };

  FieldType type;
  union {
    int64_t integer;     // kInteger
    Texts texts;         // kText, kTextList
    ReplyRef reply;      // kReply
    ResultValue result;  // kResult
  };

  static FieldValue ofInteger(int64_t value) {
    FieldValue v;
    v.type = FieldType::kInteger;
    v.integer = value;
    return v;
  }
  static FieldValue ofText(const char* text) {
    FieldValue v;
    v.type = FieldType::kText;
    v.texts = {text, nullptr, nullptr, 0};
    return v;
  }
  static FieldValue ofJoinedText(const char* const* pieces, const char* separators,
                                 std::size_t count) {
    FieldValue v;
    v.type = FieldType::kText;
    v.texts = {nullptr, pieces, separators, count};
    return v;
  }
  static FieldValue ofList(const char* const* texts, std::size_t count) {
    FieldValue v;
    v.type = FieldType::kTextList;
    v.texts = {nullptr, texts, nullptr, count};
    return v;
  }
  static FieldValue ofReply(ReplyRef reply) {
    FieldValue v;
    v.type = FieldType::kReply;
    v.reply = reply;
    return v;
  }
  static FieldValue ofResult(ResultValue result) {
    FieldValue v;
    v.type = FieldType::kResult;
    v.result = result;
    return v;
  }
};

// What every entry line starts with but its depth, which the writer knows.
struct EntryHead {
  uint64_t ms;     // since the capture began
  int64_t script;  // the script's number; 0 for none
};

// The lengths of an entry's texts, measured once per entry (the writer's).
struct TextLengths;

class CaptureWriter {
 public:
  enum class State {
    kRecording,
    kStopped,  // the limit, the caller's stopWith, or closed
    kFailed,   // the sink could make no room; nothing more is written
  };
  // Why recording stopped, for the stop notice.
  enum class StopReason {
    kLimit,   // the next entry would have passed maxBytes: a `stopped` entry
    kCaller,  // stopWith: a `stopped` entry with the caller's reason
    kNoRoom,  // maxBytes is below kLeastMaxBytes: nothing was written
    kFailed,  // the sink could make no room (State::kFailed)
  };

  // Kept free for the final `stopped` entry, whose line is shorter.
  static constexpr uint64_t kStoppedReserve = 200;
  // The smallest limit that records anything: the header and the reserve.
  static constexpr uint64_t kLeastMaxBytes = 15 + kStoppedReserve;

  // Writes to `sink` (not owned; must outlive the writer) at most
  // `maxBytes` bytes.
  CaptureWriter(CaptureSink& sink, uint64_t maxBytes) : sink_(sink), max_bytes_(maxBytes) {}
  CaptureWriter(const CaptureWriter&) = delete;
  CaptureWriter& operator=(const CaptureWriter&) = delete;

  // Writes the header line. False when recording is not possible (a limit
  // below kLeastMaxBytes stops it with kNoRoom, having written nothing).
  bool writeHeader();

  // Appends one entry of `kind` with `values`, one per field of its row, in
  // order. Returns true while recording goes on; false once it has stopped
  // (at this entry or before; the entry is then not written). A wrong
  // number or type of values, or an `end` with no call open, writes nothing
  // and returns false.
  bool write(const EntryHead& head, EntryKind kind, const FieldValue* values, int count);

  // The same for an entry kind known when compiling, with one value per
  // field of its row: the event path's way, each row's line made
  // straight-line from the table.
  template <EntryKind kKind>
  bool write(const EntryHead& head, const FieldValue* values);

  // Writes the final `stopped` entry with `reason` and stops recording
  // (StopReason::kCaller).
  void stopWith(const EntryHead& head, const char* reason);

  // Ends the capture where it has got to: the sink trims the room it made
  // beyond. Nothing is written after. False when the sink failed to trim.
  bool close();

  State state() const { return state_; }
  bool recording() const { return state_ == State::kRecording; }
  // Bytes written so far.
  uint64_t bytes() const { return base_offset_ + static_cast<uint64_t>(at_ - base_); }
  uint64_t maxBytes() const { return max_bytes_; }
  // The calls the entries written so far leave open.
  int openCalls() const { return open_; }

  // Called once, with why, when recording stops or fails; from inside
  // writeHeader, write or stopWith. `text` is the `stopped` entry's reason
  // for kLimit and kCaller, else empty. `notice` may be null.
  using StopNotice = void (*)(void* context, StopReason reason, const char* text);
  void setStopNotice(StopNotice notice, void* context) {
    notice_ = notice;
    notice_context_ = context;
  }

 private:
  template <EntryKind kKind, typename Out>
  void format(Out& out, const EntryHead& head, int depth, const FieldValue* values,
              const TextLengths& lengths);
  class CountOut;
  class RawOut;

  // Keeps the digits of `ms`, which most entries share with the one before.
  void rememberMs(uint64_t ms);

  // Room for `size` more bytes in the window; false (failed) when the sink
  // makes none.
  bool reserve(std::size_t size);
  void stop(State state, StopReason reason, const char* text);
  // Writes the `stopped` entry when it fits, and stops.
  void writeStopped(const EntryHead& head, const char* reason, StopReason why);

  CaptureSink& sink_;
  uint64_t max_bytes_;
  // The sink's window: `base_` is the byte at `base_offset_`; `at_` where
  // the next byte goes; `end_` the end of the window.
  char* base_ = nullptr;
  uint64_t base_offset_ = 0;
  char* at_ = nullptr;
  char* end_ = nullptr;
  int open_ = 0;
  bool closed_ = false;
  uint64_t ms_value_ = 0;
  char ms_text_[24] = {};
  std::size_t ms_length_ = 0;
  State state_ = State::kRecording;
  StopNotice notice_ = nullptr;
  void* notice_context_ = nullptr;
};

}  // namespace drezcapture

#endif  // CAPTURE_CAPTURE_WRITER_H_
