#include "capture_writer.h"

#include <cstring>
#include <new>

namespace drezcapture {

namespace {

// Decimal digits of `value` into `out` (room for 20); returns their count.
std::size_t decimal(uint64_t value, char* out) {
  char digits[20];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (std::size_t i = 0; i < count; ++i) out[i] = digits[count - 1 - i];
  return count;
}

// A generous bound of an entry's length, counting only what varies much:
// the texts, each byte at its longest escape.
uint64_t upperBound(const EntrySpec& spec, const FieldValue* values) {
  uint64_t bound = 96;  // head, keyword, separators
  for (int i = 0; i < spec.fieldCount; ++i) {
    bound += std::strlen(spec.fields[i].name) + 32;
    const FieldValue& value = values[i];
    if (value.text != nullptr) bound += 4 * std::strlen(value.text);
    if (value.result.text != nullptr) bound += 4 * std::strlen(value.result.text);
    for (std::size_t t = 0; t < value.count; ++t) {
      bound += 8 + (value.list[t] != nullptr ? 4 * std::strlen(value.list[t]) : 0);
    }
  }
  return bound;
}

}  // namespace

// Counts the bytes an entry takes, for the limit.
class CaptureWriter::CountOut {
 public:
  void put(const char*, std::size_t size) { count += size; }
  void putText(const char* text) { count += 2 + escapedLength(text, std::strlen(text)); }
  void putJoined(const char* const* pieces, const char* separators, std::size_t size) {
    count += 2;
    for (std::size_t i = 0; i < size; ++i) {
      if (separators[i] != '\0') count += escapedLength(&separators[i], 1);
      if (pieces[i] != nullptr) count += escapedLength(pieces[i], std::strlen(pieces[i]));
    }
  }
  uint64_t count = 0;
};

// Appends to the writer's buffer.
class CaptureWriter::BufferOut {
 public:
  explicit BufferOut(CaptureWriter& writer) : writer_(writer) {}
  void putEscaped(const char* text) {
    char escaped[4];
    for (const char* at = text; *at != '\0'; ++at) {
      const std::size_t length = escapeByte(static_cast<unsigned char>(*at), escaped);
      writer_.append(escaped, length);
    }
  }
  void put(const char* data, std::size_t size) { writer_.append(data, size); }
  void putText(const char* text) {
    writer_.append("\"", 1);
    putEscaped(text);
    writer_.append("\"", 1);
  }
  void putJoined(const char* const* pieces, const char* separators, std::size_t size) {
    writer_.append("\"", 1);
    for (std::size_t i = 0; i < size; ++i) {
      const char separator[2] = {separators[i], '\0'};
      putEscaped(separator);
      if (pieces[i] != nullptr) putEscaped(pieces[i]);
    }
    writer_.append("\"", 1);
  }

 private:
  CaptureWriter& writer_;
};

CaptureWriter::CaptureWriter(CaptureSink& sink, uint64_t maxBytes)
    : sink_(sink), max_bytes_(maxBytes), buffer_(new (std::nothrow) char[kBufferSize]) {
  if (buffer_ == nullptr) state_ = State::kFailed;
}

CaptureWriter::~CaptureWriter() { delete[] buffer_; }

void CaptureWriter::append(const char* data, std::size_t size) {
  while (size > 0 && state_ != State::kFailed) {
    if (used_ == kBufferSize && !flush()) return;
    const std::size_t room = kBufferSize - used_;
    const std::size_t now = size < room ? size : room;
    if (now == 1) {
      buffer_[used_] = *data;  // most appends are one byte
    } else {
      std::memcpy(buffer_ + used_, data, now);
    }
    used_ += now;
    data += now;
    size -= now;
  }
}

bool CaptureWriter::flush() {
  if (state_ == State::kFailed) return false;
  if (used_ == 0) return true;
  const std::size_t size = used_;
  used_ = 0;
  if (!sink_.write(buffer_, size)) {
    stop(State::kFailed);
    return false;
  }
  flushed_ += size;
  return true;
}

void CaptureWriter::stop(State state) {
  if (state_ == state) return;
  const bool first = state_ == State::kRecording;
  state_ = state;
  if (first && notice_ != nullptr) notice_(notice_context_, state);
}

template <typename Out>
void CaptureWriter::format(Out& out, const EntryHead& head, const EntrySpec& spec,
                           const FieldValue* values) {
  char number[24];
  out.put(number, decimal(head.ms, number));
  out.put(" ", 1);
  out.put(number, decimal(static_cast<uint64_t>(head.depth < 0 ? 0 : head.depth), number));
  out.put(" ", 1);
  out.put(number, decimal(static_cast<uint64_t>(head.script < 0 ? 0 : head.script), number));
  out.put(" ", 1);
  out.put(spec.keyword, std::strlen(spec.keyword));

  const auto putInteger = [&out, &number](int64_t value) {
    if (value < 0) {
      out.put("-", 1);
      out.put(number, decimal(0 - static_cast<uint64_t>(value), number));
    } else {
      out.put(number, decimal(static_cast<uint64_t>(value), number));
    }
  };
  const auto putText = [&out](const char* text) {
    if (text == nullptr) {
      out.put(kNoneWord, sizeof kNoneWord - 1);
    } else {
      out.putText(text);
    }
  };
  const auto putFieldText = [&out, &putText](const FieldValue& value) {
    if (value.list != nullptr) {
      out.putJoined(value.list, value.separators, value.count);
    } else {
      putText(value.text);
    }
  };

  for (int i = 0; i < spec.fieldCount; ++i) {
    const FieldSpec& field = spec.fields[i];
    const FieldValue& value = values[i];
    out.put(" ", 1);
    out.put(field.name, std::strlen(field.name));
    out.put("=", 1);
    switch (field.type) {
      case FieldType::kInteger:
        putInteger(value.integer);
        break;
      case FieldType::kText:
        putFieldText(value);
        break;
      case FieldType::kTextList:
        out.put("[", 1);
        for (std::size_t t = 0; t < value.count; ++t) {
          if (t > 0) out.put(" ", 1);
          putText(value.list[t]);
        }
        out.put("]", 1);
        break;
      case FieldType::kReply:
        if (value.reply.kind == ReplyRef::Kind::kNumber) {
          out.put(number, decimal(value.reply.number, number));
        } else if (value.reply.kind == ReplyRef::Kind::kUnknown) {
          out.put(kUnknownWord, sizeof kUnknownWord - 1);
        } else {
          out.put(kNoneWord, sizeof kNoneWord - 1);
        }
        break;
      case FieldType::kResult: {
        const ResultValue& result = value.result;
        if (result.kind == ResultKind::kInteger) {
          putInteger(result.number);
          break;
        }
        const char* word = kResultWords[static_cast<int>(result.kind)];
        out.put(word, std::strlen(word));
        if (result.kind == ResultKind::kReply) {
          out.put(" ", 1);
          out.put(number, decimal(static_cast<uint64_t>(result.number), number));
          out.put(" ", 1);
          out.putText(result.text != nullptr ? result.text : "");
        }
        break;
      }
    }
  }
  out.put("\n", 1);
}

bool CaptureWriter::writeHeader() {
  if (state_ != State::kRecording) return false;
  char line[32];
  std::size_t length = std::strlen(kHeaderName);
  std::memcpy(line, kHeaderName, length);
  line[length++] = ' ';
  length += decimal(kFormatVersion, line + length);
  line[length++] = '\n';
  append(line, length);
  return flush();
}

void CaptureWriter::stopWith(const EntryHead& head, const char* reason) {
  if (state_ != State::kRecording) return;
  const FieldValue value = FieldValue::ofText(reason);
  BufferOut out(*this);
  format(out, head, entrySpec(EntryKind::kStopped), &value);
  flush();
  stop(State::kStopped);
}

bool CaptureWriter::write(const EntryHead& head, EntryKind kind, const FieldValue* values,
                          int count) {
  if (state_ != State::kRecording) return false;
  const int index = static_cast<int>(kind);
  if (index < 0 || index >= kEntryKindCount) return false;
  const EntrySpec& spec = kEntrySpecs[index];
  if (count != spec.fieldCount) return false;
  for (int i = 0; i < count; ++i) {
    if (values[i].type != spec.fields[i].type) return false;
  }

  // The limit: measured exactly only when the generous bound comes near it.
  const uint64_t room = max_bytes_ > kStoppedReserve ? max_bytes_ - kStoppedReserve : 0;
  if (bytes() + upperBound(spec, values) > room) {
    CountOut count_out;
    format(count_out, head, spec, values);
    if (bytes() + count_out.count > room) {
      char reason[64] = "the capture reached max_bytes=";
      const std::size_t at = std::strlen(reason);
      reason[at + decimal(max_bytes_, reason + at)] = '\0';
      stopWith(head, reason);
      return false;
    }
  }
  BufferOut out(*this);
  format(out, head, spec, values);
  return state_ == State::kRecording;
}

}  // namespace drezcapture
