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

// A bound of an entry's length, generous but true: every byte of a text at
// its longest escape, every number at its widest.
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

// Writes quoted texts, given how to put bytes (`Out::put`) and escaped
// text (`Out::putEscaped`).
template <typename Out>
class TextOut {
 public:
  void putText(const char* text) {
    self().put("\"", 1);
    self().putEscaped(text);
    self().put("\"", 1);
  }
  void putJoined(const char* const* pieces, const char* separators, std::size_t size) {
    self().put("\"", 1);
    for (std::size_t i = 0; i < size; ++i) {
      const char separator[2] = {separators[i], '\0'};
      self().putEscaped(separator);
      if (pieces[i] != nullptr) self().putEscaped(pieces[i]);
    }
    self().put("\"", 1);
  }

 private:
  Out& self() { return static_cast<Out&>(*this); }
};

// Appends to the writer's buffer, handing it over whenever it fills: for an
// entry that may not fit in it.
class CaptureWriter::BufferOut : public TextOut<BufferOut> {
 public:
  explicit BufferOut(CaptureWriter& writer) : writer_(writer) {}
  void put(const char* data, std::size_t size) { writer_.append(data, size); }
  void putEscaped(const char* text) {
    char escaped[4];
    for (const char* at = text; *at != '\0'; ++at) {
      const std::size_t length = escapeByte(static_cast<unsigned char>(*at), escaped);
      writer_.append(escaped, length);
    }
  }

 private:
  CaptureWriter& writer_;
};

// Writes straight into the buffer, which has room for the whole entry: the
// event path's way.
class CaptureWriter::RawOut : public TextOut<RawOut> {
 public:
  explicit RawOut(char* at) : at_(at) {}
  void put(const char* data, std::size_t size) {
    std::memcpy(at_, data, size);
    at_ += size;
  }
  void putEscaped(const char* text) {
    // A local pointer: stores through a char* could change a member, which
    // would keep the compiler from holding it in a register.
    char* out = at_;
    for (; *text != '\0'; ++text) {
      const unsigned char byte = static_cast<unsigned char>(*text);
      if (byte >= 0x20 && byte <= 0x7E && byte != '"' && byte != '\\') {
        *out++ = static_cast<char>(byte);
      } else {
        out += escapeByte(byte, out);
      }
    }
    at_ = out;
  }
  char* end() const { return at_; }

 private:
  char* at_;
};

// Counts the bytes an entry takes, for the limit.
class CaptureWriter::CountOut : public TextOut<CountOut> {
 public:
  void put(const char*, std::size_t size) { count += size; }
  void putEscaped(const char* text) { count += escapedLength(text, std::strlen(text)); }
  uint64_t count = 0;
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
  char version[24];
  append(kHeaderName, std::strlen(kHeaderName));
  append(" ", 1);
  append(version, decimal(kFormatVersion, version));
  append("\n", 1);
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
  const uint64_t bound = upperBound(spec, values);
  if (bytes() + bound > room) {
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
  if (bound <= kBufferSize) {
    if (kBufferSize - used_ < bound && !flush()) return false;
    RawOut out(buffer_ + used_);
    format(out, head, spec, values);
    used_ = static_cast<std::size_t>(out.end() - buffer_);
    return true;
  }
  BufferOut out(*this);
  format(out, head, spec, values);
  return state_ == State::kRecording;
}

}  // namespace drezcapture
