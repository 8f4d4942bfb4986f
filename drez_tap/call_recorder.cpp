#include "call_recorder.h"

#include "drez_client_callback.h"
#include "drez_client_host.h"
#include "drez_records.h"

namespace dreztap {

void CallRecorder::HeldReplies::add(uintptr_t pointer, uint64_t number) {
  // A free place first; when every place is taken, the oldest goes.
  for (std::size_t i = 0; i < kHeldReplies; ++i) {
    if (pointers_[i] == 0) {
      pointers_[i] = pointer;
      numbers_[i] = number;
      return;
    }
  }
  pointers_[next_] = pointer;
  numbers_[next_] = number;
  next_ = (next_ + 1) % kHeldReplies;
}

ReplyRef CallRecorder::HeldReplies::take(uintptr_t pointer) {
  if (pointer == 0) return ReplyRef::none();
  for (std::size_t i = 0; i < kHeldReplies; ++i) {
    if (pointers_[i] == pointer) {
      pointers_[i] = 0;
      return ReplyRef::numbered(numbers_[i]);
    }
  }
  return ReplyRef::unknown();
}

CallRecorder::CallRecorder(CaptureWriter& writer, Clock clock)
    : writer_(writer), clock_(clock), start_(clock()) {}

void CallRecorder::begin(const char* started, int64_t pid, const char* library) {
  tick();
  const FieldValue values[] = {FieldValue::ofText(started), FieldValue::ofInteger(pid),
                               FieldValue::ofText(library)};
  writer_.write<EntryKind::kBegin>(head(0), values);
}

void CallRecorder::endAbandonedCalls(StackMark mark, bool atMark) {
  bool ticked = false;
  while (depth_ > 0 && writer_.recording()) {
    const StackMark open = frames_[depth_ - 1].mark;
    if (open > mark || (open == mark && !atMark)) return;
    if (!ticked) tick();
    ticked = true;
    closeInnermost(ResultValue::of(ResultKind::kException));
  }
}

bool CallRecorder::stopNesting(int64_t script) {
  writer_.stopWith(head(script), "the calls nested deeper than 64");
  return false;
}

void CallRecorder::writeOpenCommand() {
  Frame& frame = frames_[depth_ - 1];
  frame.written = true;
  const EntryHead at{frame.ms, frame.script};
  const FieldValue open = FieldValue::ofResult(ResultValue::of(ResultKind::kOpen));
  if (frame.kind == HOST_CMD_EXECUTE) {
    const FieldValue values[] = {FieldValue::ofText(frame.text), open};
    writer_.write<EntryKind::kCommand>(at, values);
  } else if (frame.kind == HOST_CMD_RELEASE) {
    const FieldValue values[] = {FieldValue::ofReply(frame.handedBack), open};
    writer_.write<EntryKind::kHandBack>(at, values);
  } else {
    const FieldValue values[] = {FieldValue::ofInteger(frame.kind), open};
    writer_.write<EntryKind::kOtherCommand>(at, values);
  }
}

template <EntryKind kEntry>
bool CallRecorder::openHostCall(int64_t script, int kind, const FieldValue* values,
                                StackMark mark) {
  if (!writer_.recording()) return false;
  tick();
  endAbandoned(mark, true);
  writePendingCommand();
  if (!roomForCall(script)) return false;
  writer_.write<kEntry>(head(script), values);
  frames_[depth_++] = Frame{false, true, kind, nullptr, ReplyRef::none(), script, 0, mark};
  return true;
}

void CallRecorder::closeInnermost(ResultValue result) {
  const Frame& frame = frames_[--depth_];
  if (!frame.isCommand || frame.written) {
    const FieldValue value = FieldValue::ofResult(result);
    writer_.write<EntryKind::kEnd>(head(frame.script), &value);
    return;
  }
  const EntryHead at{frame.ms, frame.script};
  const FieldValue result_field = FieldValue::ofResult(result);
  if (frame.kind == HOST_CMD_EXECUTE) {
    const FieldValue values[] = {FieldValue::ofText(frame.text), result_field};
    writer_.write<EntryKind::kCommand>(at, values);
  } else if (frame.kind == HOST_CMD_RELEASE) {
    const FieldValue values[] = {FieldValue::ofReply(frame.handedBack), result_field};
    writer_.write<EntryKind::kHandBack>(at, values);
  } else {
    const FieldValue values[] = {FieldValue::ofInteger(frame.kind), result_field};
    writer_.write<EntryKind::kOtherCommand>(at, values);
  }
}

void CallRecorder::closeCall(StackMark mark, ResultValue result) {
  if (!writer_.recording()) return;
  endAbandoned(mark, false);
  // Not this call's frame: it was never opened (recording began inside it).
  if (depth_ == 0 || frames_[depth_ - 1].mark != mark) return;
  // An `end` carries the time it is written; a command's one entry the
  // time it was sent.
  if (!frames_[depth_ - 1].isCommand || frames_[depth_ - 1].written) tick();
  closeInnermost(result);
}

void CallRecorder::exportCalled(int64_t script, const char* path, bool hasHost, StackMark mark) {
  const FieldValue values[] = {FieldValue::ofText(path), FieldValue::ofInteger(hasHost ? 1 : 0)};
  openHostCall<EntryKind::kExport>(script, 0, values, mark);
}

void CallRecorder::exportReturned(bool created, StackMark mark) {
  closeCall(mark, ResultValue::of(created ? ResultKind::kScript : ResultKind::kNull));
}

void CallRecorder::deleteCalled(int64_t script, unsigned int flags, StackMark mark) {
  const FieldValue value = FieldValue::ofInteger(flags);
  openHostCall<EntryKind::kDelete>(script, 0, &value, mark);
}

void CallRecorder::deleteReturned(StackMark mark) {
  closeCall(mark, ResultValue::of(ResultKind::kDone));
}

void CallRecorder::exceptionPassed(StackMark mark) {
  closeCall(mark, ResultValue::of(ResultKind::kException));
}

void CallRecorder::callbackCalled(int64_t script, void* data, int kind, StackMark mark) {
  if (!writer_.recording()) return;
  writeCallbackEntry(script, data, kind, mark);
}

void CallRecorder::writeCallbackEntry(int64_t script, void* data, int kind, StackMark mark) {
  const int64_t value = static_cast<int64_t>(reinterpret_cast<intptr_t>(data));
  if (kind == CB_DEVICE_UPDATE && data != nullptr) {
    const DeviceUpdate* update = static_cast<const DeviceUpdate*>(data);
    const FieldValue values[] = {
        FieldValue::ofInteger(update->device), FieldValue::ofInteger(update->index),
        FieldValue::ofInteger(update->number), FieldValue::ofText(update->text)};
    openHostCall<EntryKind::kDevice>(script, kind, values, mark);
  } else if (kind == CB_CONTROL_EVENT && data != nullptr) {
    const ControlEvent* event = static_cast<const ControlEvent*>(data);
    const ParsedCommand* parsed = event->parsed;
    if (parsed == nullptr) {
      const FieldValue values[] = {
          FieldValue::ofText(event->controlId), FieldValue::ofText(nullptr),
          FieldValue::ofText(nullptr),          FieldValue::ofList(nullptr, 0),
          FieldValue::ofText(nullptr),          FieldValue::ofInteger(0)};
      openHostCall<EntryKind::kControl>(script, kind, values, mark);
      return;
    }
    const int32_t count = parsed->partCount < 0                   ? 0
                          : parsed->partCount > MAX_COMMAND_PARTS ? MAX_COMMAND_PARTS
                                                                  : parsed->partCount;
    // The command text again, from its parts: name, ".part" each, "=value".
    const char* pieces[MAX_COMMAND_PARTS + 2];
    char separators[MAX_COMMAND_PARTS + 2];
    std::size_t piece_count = 0;
    pieces[piece_count] = parsed->name;
    separators[piece_count++] = '\0';
    for (int32_t i = 0; i < count; ++i) {
      pieces[piece_count] = parsed->parts[i];
      separators[piece_count++] = '.';
    }
    if (parsed->hasValue) {
      pieces[piece_count] = parsed->value;
      separators[piece_count++] = '=';
    }
    const FieldValue values[] = {FieldValue::ofText(event->controlId),
                                 FieldValue::ofJoinedText(pieces, separators, piece_count),
                                 FieldValue::ofText(parsed->name),
                                 FieldValue::ofList(parsed->parts, static_cast<std::size_t>(count)),
                                 FieldValue::ofText(parsed->value),
                                 FieldValue::ofInteger(parsed->hasValue ? 1 : 0)};
    openHostCall<EntryKind::kControl>(script, kind, values, mark);
  } else if (kind == CB_HOST_REQUEST) {
    const FieldValue text = FieldValue::ofText(static_cast<const char*>(data));
    openHostCall<EntryKind::kRequest>(script, kind, &text, mark);
  } else if (kind == CB_EVENT_ID) {
    const FieldValue id = FieldValue::ofInteger(value);
    openHostCall<EntryKind::kEvent>(script, kind, &id, mark);
  } else if (kind == CB_RELEASE_REPLY) {
    // Numbered before the script frees it.
    const FieldValue reply =
        FieldValue::ofReply(script_replies_.take(reinterpret_cast<uintptr_t>(data)));
    openHostCall<EntryKind::kRelease>(script, kind, &reply, mark);
  } else if (kind == CB_NOTIFY6 || kind == CB_NOTIFY7) {
    const FieldValue values[] = {FieldValue::ofInteger(kind), FieldValue::ofInteger(value)};
    openHostCall<EntryKind::kNotify>(script, kind, values, mark);
  } else {
    const FieldValue values[] = {FieldValue::ofInteger(kind), FieldValue::ofInteger(value)};
    openHostCall<EntryKind::kCallback>(script, kind, values, mark);
  }
}

void CallRecorder::callbackReturned(const char* result, StackMark mark) {
  if (!writer_.recording()) return;
  endAbandoned(mark, false);
  if (depth_ == 0 || frames_[depth_ - 1].mark != mark) return;
  if (result == nullptr) {
    closeCall(mark, ResultValue::of(ResultKind::kNull));
  } else if (frames_[depth_ - 1].kind == CB_HOST_REQUEST) {
    const uint64_t number = ++last_reply_;
    script_replies_.add(reinterpret_cast<uintptr_t>(result), number);
    closeCall(mark, ResultValue::reply(number, result));
  } else {
    closeCall(mark, ResultValue::of(ResultKind::kPointer));
  }
}

void CallRecorder::commandCalled(int64_t script, const char* text, int kind, StackMark mark) {
  if (!writer_.recording()) return;
  endAbandoned(mark, true);
  writePendingCommand();
  if (!roomForCall(script)) return;
  ReplyRef handed_back = ReplyRef::none();
  // Numbered before the host frees it.
  if (kind == HOST_CMD_RELEASE) handed_back = host_replies_.take(reinterpret_cast<uintptr_t>(text));
  frames_[depth_++] = Frame{true, false, kind, text, handed_back, script, last_ms_, mark};
}

void CallRecorder::commandReturned(intptr_t result, StackMark mark) {
  if (!writer_.recording()) return;
  endAbandoned(mark, false);
  if (depth_ == 0 || frames_[depth_ - 1].mark != mark) return;
  const Frame& frame = frames_[depth_ - 1];
  ResultValue value = ResultValue::integer(static_cast<int64_t>(result));
  if (frame.kind == HOST_CMD_EXECUTE && drezcapture::carriesReply(frame.text)) {
    if (result == 0) {
      value = ResultValue::of(ResultKind::kNull);
    } else {
      const uint64_t number = ++last_reply_;
      host_replies_.add(static_cast<uintptr_t>(result), number);
      value = ResultValue::reply(number, reinterpret_cast<const char*>(result));
    }
  }
  // Written `open`, it ends with an `end` of the time now.
  if (frame.written) tick();
  closeInnermost(value);
}

void CallRecorder::close(StackMark mark) {
  endAbandoned(mark, true);
  writer_.close();
}

}  // namespace dreztap
