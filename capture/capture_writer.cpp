#include "capture_writer.h"

#include <array>
#include <cstring>

namespace drezcapture {

namespace {

constexpr std::size_t constantLength(const char* text) {
  std::size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

// The lengths of each row's keyword and field names, so that the event
// path measures no constant text.
struct RowLengths {
  std::size_t keyword = 0;
  std::size_t fields[kMaxFields] = {};
  // A bound of the row's line without its values' texts: head, keyword,
  // names, separators, and every number or word at its widest.
  uint64_t fixed = 0;
};

constexpr std::array<RowLengths, kEntryKindCount> rowLengths() {
  std::array<RowLengths, kEntryKindCount> all{};
  for (int kind = 0; kind < kEntryKindCount; ++kind) {
    const EntrySpec& spec = kEntrySpecs[kind];
    RowLengths& row = all[static_cast<std::size_t>(kind)];
    row.keyword = constantLength(spec.keyword);
    row.fixed = 3 * 21 + 1 + row.keyword + 1;  // head, keyword, line end
    for (int i = 0; i < spec.fieldCount; ++i) {
      row.fields[i] = constantLength(spec.fields[i].name);
      // " name=", then a number, a word or a reply number with its quotes.
      row.fixed += 2 + row.fields[i] + 48;
    }
  }
  return all;
}

constexpr std::array<RowLengths, kEntryKindCount> kRowLengths = rowLengths();

// The bytes that stand for themselves inside quotes.
constexpr std::array<bool, 256> plainBytes() {
  std::array<bool, 256> plain{};
  for (int byte = 0x20; byte <= 0x7E; ++byte) plain[static_cast<std::size_t>(byte)] = true;
  plain['"'] = false;
  plain['\\'] = false;
  return plain;
}

constexpr std::array<bool, 256> kPlain = plainBytes();

// A bound of an entry's length, generous but true: the row's fixed part,
// and every byte of a text at its longest escape.
uint64_t upperBound(const EntrySpec& spec, const FieldValue* values) {
  uint64_t bound = kRowLengths[static_cast<std::size_t>(spec.kind)].fixed;
  for (int i = 0; i < spec.fieldCount; ++i) {
    const FieldValue& value = values[i];
    if (value.text != nullptr) bound += 4 * std::strlen(value.text);
    if (value.result.text != nullptr) bound += 4 * std::strlen(value.result.text);
    for (std::size_t t = 0; t < value.count; ++t) {
      bound += 8 + (value.list[t] != nullptr ? 4 * std::strlen(value.list[t]) : 0);
    }
  }
  return bound;
}

std::size_t decimalLength(uint64_t value) {
  std::size_t length = 1;
  while (value >= 10) {
    value /= 10;
    ++length;
  }
  return length;
}

}  // namespace

// Writes straight into the window, which has room for the whole entry.
class CaptureWriter::RawOut {
 public:
  explicit RawOut(char* at) : at_(at) {}
  void put(const char* data, std::size_t size) {
    std::memcpy(at_, data, size);
    at_ += size;
  }
  void putChar(char c) { *at_++ = c; }
  void putDecimal(uint64_t value) {
    if (value < 10) {
      *at_++ = static_cast<char>('0' + value);
      return;
    }
    const std::size_t length = decimalLength(value);
    char* digit = at_ + length;
    at_ = digit;
    do {
      *--digit = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
  }
  void putEscaped(const char* text) {
    // A local pointer: stores through a char* could change a member, which
    // would keep the compiler from holding it in a register.
    char* out = at_;
    for (; *text != '\0'; ++text) {
      const unsigned char byte = static_cast<unsigned char>(*text);
      if (kPlain[byte]) {
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
class CaptureWriter::CountOut {
 public:
  void put(const char*, std::size_t size) { count += size; }
  void putChar(char) { ++count; }
  void putDecimal(uint64_t value) { count += decimalLength(value); }
  void putEscaped(const char* text) { count += escapedLength(text, std::strlen(text)); }
  uint64_t count = 0;
};

template <typename Out>
void CaptureWriter::format(Out& out, uint64_t ms, int depth, int64_t script, const EntrySpec& spec,
                           const FieldValue* values) {
  const RowLengths& lengths = kRowLengths[static_cast<std::size_t>(spec.kind)];
  out.putDecimal(ms);
  out.putChar(' ');
  out.putDecimal(static_cast<uint64_t>(depth < 0 ? 0 : depth));
  out.putChar(' ');
  out.putDecimal(static_cast<uint64_t>(script < 0 ? 0 : script));
  out.putChar(' ');
  out.put(spec.keyword, lengths.keyword);

  const auto putInteger = [&out](int64_t value) {
    if (value < 0) {
      out.putChar('-');
      out.putDecimal(0 - static_cast<uint64_t>(value));
    } else {
      out.putDecimal(static_cast<uint64_t>(value));
    }
  };
  const auto putText = [&out](const char* text) {
    if (text == nullptr) {
      out.put(kNoneWord, sizeof kNoneWord - 1);
      return;
    }
    out.putChar('"');
    out.putEscaped(text);
    out.putChar('"');
  };

  for (int i = 0; i < spec.fieldCount; ++i) {
    const FieldSpec& field = spec.fields[i];
    const FieldValue& value = values[i];
    if (field.optional && field.type == FieldType::kInteger && value.integer == field.omitted) {
      continue;
    }
    out.putChar(' ');
    out.put(field.name, lengths.fields[i]);
    out.putChar('=');
    switch (field.type) {
      case FieldType::kInteger:
        putInteger(value.integer);
        break;
      case FieldType::kText:
        if (value.list != nullptr) {
          out.putChar('"');
          for (std::size_t p = 0; p < value.count; ++p) {
            const char separator[2] = {value.separators[p], '\0'};
            out.putEscaped(separator);
            if (value.list[p] != nullptr) out.putEscaped(value.list[p]);
          }
          out.putChar('"');
        } else {
          putText(value.text);
        }
        break;
      case FieldType::kTextList:
        out.putChar('[');
        for (std::size_t t = 0; t < value.count; ++t) {
          if (t > 0) out.putChar(' ');
          putText(value.list[t]);
        }
        out.putChar(']');
        break;
      case FieldType::kReply:
        if (value.reply.kind == ReplyRef::Kind::kNumber) {
          out.putDecimal(value.reply.number);
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
          out.putChar(' ');
          out.putDecimal(static_cast<uint64_t>(result.number));
          out.putChar(' ');
          putText(result.text != nullptr ? result.text : "");
        }
        break;
      }
    }
  }
  out.putChar('\n');
}

bool CaptureWriter::reserve(std::size_t size) {
  if (static_cast<std::size_t>(end_ - at_) >= size) return true;
  CaptureSink::Window window;
  if (!sink_.extend(bytes(), size, max_bytes_, &window) || window.size < size) {
    stop(State::kFailed, StopReason::kFailed, "");
    return false;
  }
  base_ = window.data;
  base_offset_ = window.offset;
  at_ = window.data;
  end_ = window.data + window.size;
  return true;
}

void CaptureWriter::stop(State state, StopReason reason, const char* text) {
  if (state_ != State::kRecording) return;
  state_ = state;
  if (notice_ != nullptr) notice_(notice_context_, reason, text);
}

bool CaptureWriter::writeHeader() {
  if (state_ != State::kRecording) return false;
  if (bytes() != 0) return false;
  if (max_bytes_ < kLeastMaxBytes) {
    stop(State::kStopped, StopReason::kNoRoom, "");
    return false;
  }
  static constexpr char kHeader[] = "drez-capture 1\n";
  static_assert(sizeof kHeader - 1 + kStoppedReserve == kLeastMaxBytes, "the header's length");
  if (!reserve(sizeof kHeader - 1)) return false;
  std::memcpy(at_, kHeader, sizeof kHeader - 1);
  at_ += sizeof kHeader - 1;
  return true;
}

void CaptureWriter::writeStopped(const EntryHead& head, const char* reason, StopReason why) {
  const EntrySpec& spec = entrySpec(EntryKind::kStopped);
  const FieldValue value = FieldValue::ofText(reason);
  CountOut count;
  format(count, head.ms, open_, head.script, spec, &value);
  // The reserve keeps room for it; a reason too long for that goes unsaid.
  if (bytes() + count.count <= max_bytes_ && reserve(static_cast<std::size_t>(count.count))) {
    RawOut out(at_);
    format(out, head.ms, open_, head.script, spec, &value);
    at_ = out.end();
  }
  stop(State::kStopped, why, reason);
}

void CaptureWriter::stopWith(const EntryHead& head, const char* reason) {
  if (state_ != State::kRecording) return;
  writeStopped(head, reason, StopReason::kCaller);
}

bool CaptureWriter::write(const EntryHead& head, EntryKind kind, const FieldValue* values,
                          int count) {
  if (state_ != State::kRecording) return false;
  const int index = static_cast<int>(kind);
  if (index < 0 || index >= kEntryKindCount || kind == EntryKind::kStopped) return false;
  const EntrySpec& spec = kEntrySpecs[index];
  if (count != spec.fieldCount) return false;
  for (int i = 0; i < count; ++i) {
    if (values[i].type != spec.fields[i].type) return false;
  }
  if (kind == EntryKind::kEnd && open_ == 0) return false;
  const int depth = kind == EntryKind::kEnd ? open_ - 1 : open_;

  // The limit: measured exactly only when the generous bound comes near it.
  const uint64_t room = max_bytes_ > kStoppedReserve ? max_bytes_ - kStoppedReserve : 0;
  uint64_t need = upperBound(spec, values);
  if (bytes() + need > room) {
    CountOut exact;
    format(exact, head.ms, depth, head.script, spec, values);
    if (bytes() + exact.count > room) {
      char reason[64] = "the capture reached max_bytes=";
      const std::size_t at = std::strlen(reason);
      RawOut digits(reason + at);
      digits.putDecimal(max_bytes_);
      *digits.end() = '\0';
      writeStopped(head, reason, StopReason::kLimit);
      return false;
    }
    need = exact.count;
  }
  if (!reserve(static_cast<std::size_t>(need))) return false;
  RawOut out(at_);
  format(out, head.ms, depth, head.script, spec, values);
  at_ = out.end();

  if (kind == EntryKind::kEnd) {
    --open_;
  } else if (spec.opens == Opens::kHostCall ||
             (spec.opens == Opens::kIfOpen && values[count - 1].result.kind == ResultKind::kOpen)) {
    ++open_;
  }
  return true;
}

bool CaptureWriter::close() {
  if (closed_) return true;
  closed_ = true;
  if (state_ == State::kRecording) state_ = State::kStopped;
  // Nothing was ever made: nothing to trim.
  if (base_ == nullptr) return true;
  return sink_.trim(bytes());
}

}  // namespace drezcapture
