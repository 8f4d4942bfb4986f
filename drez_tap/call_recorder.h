// Turns the calls between a host and its scripts into capture entries: it
// keeps the nesting of calls, numbers the replies, and ends the calls that
// an exception ended. What a recording library (drez_tap) calls around each
// call it forwards.
//
// The calls of the host into a script (the export, `callback`, the deletion)
// are written as their entry before they are forwarded, and an `end` entry
// with the result after. A command of a script is written as one entry with
// its result once it returns; only when the host calls into a script from
// inside it is the command written at once, with the result `open`, and
// closed by an `end` after the calls inside it.
//
// A call that ends by an exception instead of returning is written as ended
// with the result `exception`, so that the capture stays complete up to its
// last completed call. The tap says so where it sees the exception pass
// (exceptionPassed). Where it cannot (a structured exception on Windows
// passes the tap's frames without running any of its code), the recorder
// sees it afterwards: every call is entered with its stack mark, the
// address of the tap's frame that forwards it, and a call entered at or
// above the mark of a call still open, or a call returning above it, shows
// that the open call is over. The host's one thread, as the contract says,
// makes the marks comparable.
//
// Replies are numbered in the order they appear, 1 and up, host and script
// replies alike; a release names the number. Up to kHeldReplies replies of
// each side are remembered while held; a release of one that is not (more
// held than that, or a pointer never handed out) is written as `unknown`.
// Calls nested deeper than kMaxDepth stop the recording. The clock is read
// when a host call begins and when it ends; a command carries the time of
// the latest reading (a clock read per command would cost the event path
// more than the command's entry).
//
// Allocates nothing and never throws. The pointers it is given are read
// during the call only: text, records, replies (which it reads as text).
// Threading: not synchronised; the host's one thread.

#ifndef DREZ_TAP_CALL_RECORDER_H_
#define DREZ_TAP_CALL_RECORDER_H_

#include <cstddef>
#include <cstdint>

#include "capture_writer.h"

namespace dreztap {

using drezcapture::CaptureWriter;
using drezcapture::EntryHead;
using drezcapture::EntryKind;
using drezcapture::FieldValue;
using drezcapture::ReplyRef;
using drezcapture::ResultKind;
using drezcapture::ResultValue;

class CallRecorder {
 public:
  static constexpr int kMaxDepth = 64;
  static constexpr std::size_t kHeldReplies = 256;

  // Milliseconds on a steady clock; the capture's time starts at the first
  // reading, taken by the constructor.
  using Clock = uint64_t (*)();
  // Where a call was entered: the address of the tap's frame forwarding it
  // (DREZ_TAP_STACK_MARK()). A call entered deeper in the stack runs inside
  // it.
  using StackMark = uintptr_t;

  // Records into `writer` (not owned; must outlive the recorder).
  CallRecorder(CaptureWriter& writer, Clock clock);
  CallRecorder(const CallRecorder&) = delete;
  CallRecorder& operator=(const CallRecorder&) = delete;

  bool recording() const { return writer_.recording(); }

  // The `begin` entry: `started` the local start time ("20261208-142501"),
  // `pid` the process, `library` the panel library recorded.
  void begin(const char* started, int64_t pid, const char* library);

  // Around the export of the library, for the script numbered `script`;
  // `hasHost` false when the host gave no host object.
  void exportCalled(int64_t script, const char* path, bool hasHost, StackMark mark);
  void exportReturned(bool created, StackMark mark);

  // Around `callback(data, kind)` of the script numbered `script`; `result`
  // is what the script returned, a reply for kind 3.
  void callbackCalled(int64_t script, void* data, int kind, StackMark mark);
  void callbackReturned(const char* result, StackMark mark);

  // Around slot 0 of the script numbered `script`.
  void deleteCalled(int64_t script, unsigned int flags, StackMark mark);
  void deleteReturned(StackMark mark);

  // Around `command(text, kind)` of the script numbered `script` to the
  // host; `result` is what the host returned, a reply for "SD", "XI", "TG".
  void commandCalled(int64_t script, const char* text, int kind, StackMark mark);
  void commandReturned(intptr_t result, StackMark mark);

  // The call entered at `mark` ends by an exception that passes through the
  // tap on its way out: written as ended, with `exception`.
  void exceptionPassed(StackMark mark);

  // The tap closes, at `mark`: the calls still open above it ended by an
  // exception no frame of the tap saw, and are written so; those it is
  // inside (a host that exits from inside a call) stay open. Then the
  // writer closes the capture.
  void close(StackMark mark);

 private:
  struct Frame {
    bool isCommand;
    bool written;      // a command written with `open`
    int kind;          // the callback's or the command's kind
    const char* text;  // the command's text
    ReplyRef handedBack;
    int64_t script;
    uint64_t ms;
    StackMark mark;
  };

  // Pointer to number, for the replies of one side while they are held.
  class HeldReplies {
   public:
    void add(uintptr_t pointer, uint64_t number);
    // The number of `pointer`, forgotten; `unknown` when not held, `none`
    // for a null pointer.
    ReplyRef take(uintptr_t pointer);

   private:
    uintptr_t pointers_[kHeldReplies] = {};
    uint64_t numbers_[kHeldReplies] = {};
    std::size_t next_ = 0;  // where the next one goes, replacing the oldest
  };

  // Reads the clock.
  void tick() { last_ms_ = clock_() - start_; }
  EntryHead head(int64_t script) const { return {last_ms_, script}; }
  // Ends, with `exception`, the open calls entered deeper than `mark` (or
  // at it, with `atMark`): calls an exception ended unseen. Seldom any.
  void endAbandoned(StackMark mark, bool atMark) {
    if (depth_ == 0) return;
    const StackMark open = frames_[depth_ - 1].mark;
    if (open < mark || (atMark && open == mark)) endAbandonedCalls(mark, atMark);
  }
  void endAbandonedCalls(StackMark mark, bool atMark);
  // Room for one more open call; stops the recording when there is none.
  bool roomForCall(int64_t script) { return depth_ < kMaxDepth || stopNesting(script); }
  // Stops the recording there; false.
  bool stopNesting(int64_t script);
  // Writes a command still waiting for its result as `open`.
  void writePendingCommand() {
    if (depth_ > 0 && frames_[depth_ - 1].isCommand && !frames_[depth_ - 1].written) {
      writeOpenCommand();
    }
  }
  void writeOpenCommand();
  template <EntryKind kEntry>
  bool openHostCall(int64_t script, int kind, const FieldValue* values, StackMark mark);
  // Ends the innermost open call with `result`: an `end`, or the command's
  // one entry when it was not written yet.
  void closeInnermost(ResultValue result);
  // Ends the call entered at `mark` with `result`, after the calls inside
  // it that an exception ended.
  void closeCall(StackMark mark, ResultValue result);
  void writeCallbackEntry(int64_t script, void* data, int kind, StackMark mark);

  CaptureWriter& writer_;
  Clock clock_;
  uint64_t start_;
  uint64_t last_ms_ = 0;
  Frame frames_[kMaxDepth] = {};
  int depth_ = 0;
  uint64_t last_reply_ = 0;
  HeldReplies host_replies_;
  HeldReplies script_replies_;
};

// The stack mark of the function it stands in: its frame's address.
#define DREZ_TAP_STACK_MARK() \
  (reinterpret_cast<::dreztap::CallRecorder::StackMark>(__builtin_frame_address(0)))

}  // namespace dreztap

#endif  // DREZ_TAP_CALL_RECORDER_H_
