// Writes a capture (capture_format.h) entry by entry into a buffer of fixed
// size, and hands the buffer to a sink when told to and whenever it fills.
// It allocates nothing after construction and never throws: it is used on
// the event path of a panel host.
//
// Bounded: once the next entry would take the capture past its limit, the
// writer writes one final `stopped` entry instead and records nothing more.
// The header and that final entry always fit; so a capture never grows past
// its limit unless the limit is smaller than those two lines.
//
// Threading: not synchronised; one thread at a time.

#ifndef CAPTURE_CAPTURE_WRITER_H_
#define CAPTURE_CAPTURE_WRITER_H_

#include <cstddef>
#include <cstdint>

#include "capture_format.h"

namespace drezcapture {

// Where the writer's bytes go: a file, or memory in tests.
class CaptureSink {
 public:
  // Writes all `size` bytes at `data` (the writer's; read during the call
  // only). Returns false when they could not all be written.
  virtual bool write(const char* data, std::size_t size) = 0;

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

// One field's value; its type must be the type of its field in the table.
// Texts are read during the write only and stay the caller's.
struct FieldValue {
  FieldType type;
  int64_t integer = 0;
  const char* text = nullptr;         // kText: null is written as `none`
  const char* const* list = nullptr;  // kTextList: `count` texts (null ones as `none`)
  std::size_t count = 0;
  // kText written from pieces (when `list` is set for a kText): each piece
  // preceded by its separator in `separators` ('\0' for none); null pieces
  // read as empty. For a text that exists only in parts.
  const char* separators = nullptr;
  ReplyRef reply = ReplyRef::none();
  ResultValue result = ResultValue::of(ResultKind::kNull);

  static FieldValue ofInteger(int64_t value) {
    FieldValue v{FieldType::kInteger};
    v.integer = value;
    return v;
  }
  static FieldValue ofText(const char* text) {
    FieldValue v{FieldType::kText};
    v.text = text;
    return v;
  }
  static FieldValue ofJoinedText(const char* const* pieces, const char* separators,
                                 std::size_t count) {
    FieldValue v{FieldType::kText};
    v.list = pieces;
    v.separators = separators;
    v.count = count;
    return v;
  }
  static FieldValue ofList(const char* const* texts, std::size_t count) {
    FieldValue v{FieldType::kTextList};
    v.list = texts;
    v.count = count;
    return v;
  }
  static FieldValue ofReply(ReplyRef reply) {
    FieldValue v{FieldType::kReply};
    v.reply = reply;
    return v;
  }
  static FieldValue ofResult(ResultValue result) {
    FieldValue v{FieldType::kResult};
    v.result = result;
    return v;
  }
};

// What every entry line starts with.
struct EntryHead {
  uint64_t ms;     // since the capture began
  int depth;       // calls open around the entry
  int64_t script;  // the script's number; 0 for none
};

class CaptureWriter {
 public:
  enum class State {
    kRecording,
    kStopped,  // the `stopped` entry was written: the limit, or stopStopped
    kFailed,   // the sink refused bytes; nothing more is written
  };

  static constexpr std::size_t kBufferSize = std::size_t{64} * 1024;
  // Kept free for the final `stopped` entry.
  static constexpr uint64_t kStoppedReserve = 200;

  // Writes to `sink` (not owned; must outlive the writer) at most
  // `maxBytes` bytes. Allocates the buffer; nothing after.
  CaptureWriter(CaptureSink& sink, uint64_t maxBytes);
  ~CaptureWriter();
  CaptureWriter(const CaptureWriter&) = delete;
  CaptureWriter& operator=(const CaptureWriter&) = delete;

  // Writes the header line and hands it to the sink at once. False when
  // recording is not possible.
  bool writeHeader();

  // Appends one entry of `kind` with `values`, one per field of its row, in
  // order. Returns true while recording goes on; false once it has stopped
  // (at this entry or before; the entry is then not written). A wrong
  // number or type of values writes nothing and returns false.
  bool write(const EntryHead& head, EntryKind kind, const FieldValue* values, int count);

  // Hands what is buffered to the sink. False once recording has failed.
  bool flush();

  // Writes the final `stopped` entry with `reason` and stops recording.
  void stopWith(const EntryHead& head, const char* reason);

  State state() const { return state_; }
  bool recording() const { return state_ == State::kRecording; }
  // Bytes written or buffered so far.
  uint64_t bytes() const { return flushed_ + used_; }
  uint64_t maxBytes() const { return max_bytes_; }

  // Called once, with the new state, when recording stops or fails; from
  // inside write or flush. `notice` may be null.
  using StopNotice = void (*)(void* context, State state);
  void setStopNotice(StopNotice notice, void* context) {
    notice_ = notice;
    notice_context_ = context;
  }

 private:
  template <typename Out>
  static void format(Out& out, const EntryHead& head, const EntrySpec& spec,
                     const FieldValue* values);
  class BufferOut;
  class CountOut;
  class RawOut;

  // Appends raw bytes, handing full buffers to the sink.
  void append(const char* data, std::size_t size);
  void stop(State state);

  CaptureSink& sink_;
  uint64_t max_bytes_;
  char* buffer_;
  std::size_t used_ = 0;
  uint64_t flushed_ = 0;
  State state_ = State::kRecording;
  StopNotice notice_ = nullptr;
  void* notice_context_ = nullptr;
};

}  // namespace drezcapture

#endif  // CAPTURE_CAPTURE_WRITER_H_
