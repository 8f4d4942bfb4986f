#include "capture_writer.h"

#include <array>
#include <cstring>
#include <utility>

// The formatting of a row is made one straight-line piece of code, with no
// call inside but for the texts' lengths and escapes.
#if defined(__GNUC__)
#define DREZ_CAPTURE_INLINE [[gnu::always_inline]] inline
#else
#define DREZ_CAPTURE_INLINE inline
#endif

namespace drezcapture {

// The length of each text a row's values hold, measured once: only those
// of texts the row has are set, and read.
struct TextLengths {
  std::size_t of[kMaxFields];
  std::size_t result[kMaxFields];
};

namespace {

constexpr std::size_t constantLength(const char* text) {
  std::size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

// The constant pieces of each row's line: " <keyword>" and " <name>=" for
// each field, made from the table when compiling, so that the event path
// copies each piece in one move of a known size.
constexpr std::size_t kPieceSize = 16;
struct RowPieces {
  char text[kMaxFields + 1][kPieceSize] = {};
  std::size_t length[kMaxFields + 1] = {};
  // A bound of the row's line without its values' texts: head, pieces,
  // line end, and every number or word at its widest.
  uint64_t fixed = 0;
};

constexpr RowPieces rowPieces(const EntryRow& definition) {
  RowPieces row{};
  const auto set = [&row](std::size_t piece, const char* name, bool equals) {
    std::size_t at = 0;
    row.text[piece][at++] = ' ';
    for (std::size_t i = 0; name[i] != '\0'; ++i) row.text[piece][at++] = name[i];
    if (equals) row.text[piece][at++] = '=';
    row.length[piece] = at;
  };
  set(0, definition.keyword, false);
  row.fixed = uint64_t{3} * 21 + kPieceSize + 1;
  for (int i = 0; i < definition.fieldCount; ++i) {
    set(static_cast<std::size_t>(i) + 1, definition.fields[i].name, true);
    row.fixed += kPieceSize + 48;
  }
  return row;
}

constexpr bool piecesFit() {
  for (const EntryRow& definition : kEntryRows) {
    if (constantLength(definition.keyword) + 1 >= kPieceSize) return false;
    for (int i = 0; i < definition.fieldCount; ++i) {
      if (constantLength(definition.fields[i].name) + 2 >= kPieceSize) return false;
    }
  }
  return true;
}
static_assert(piecesFit(), "every keyword and field name fits a piece");

template <EntryKind kKind>
constexpr RowPieces kPieces = rowPieces(kEntryRows[static_cast<int>(kKind)]);

// The bytes that stand for themselves inside quotes.
constexpr std::array<bool, 256> plainBytes() {
  std::array<bool, 256> plain{};
  for (int byte = 0x20; byte <= 0x7E; ++byte) plain[static_cast<std::size_t>(byte)] = true;
  plain['"'] = false;
  plain['\\'] = false;
  return plain;
}

constexpr std::array<bool, 256> kPlain = plainBytes();

// Whether the 8 bytes of `word` all stand for themselves: none below 0x20,
// none at 0x7F or above, no '"' and no '\'. Each test sets a byte's high
// bit where the byte fails it; none carries into the next byte once every
// byte is below 0x80.
inline bool allPlain(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  constexpr uint64_t kHighs = 0x8080808080808080u;
  if ((word & kHighs) != 0) return false;
  const uint64_t below_space = (word - kOnes * 0x20) & ~word;
  const uint64_t delete_byte = word + kOnes;
  const uint64_t quote = word ^ (kOnes * '"');
  const uint64_t backslash = word ^ (kOnes * '\\');
  const uint64_t found =
      below_space | delete_byte | ((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash);
  return (found & kHighs) == 0;
}

std::size_t decimalLength(uint64_t value) {
  std::size_t length = 1;
  while (value >= 10) {
    value /= 10;
    ++length;
  }
  return length;
}

// A bound of an entry of row `kKind`, generous but true: the row's fixed
// part, and every byte of a text at its longest escape. Keeps the lengths.
template <EntryKind kKind, std::size_t kField>
uint64_t textBound(const FieldValue& value, TextLengths* lengths) {
  constexpr FieldType kType = kEntryRows[static_cast<int>(kKind)].fields[kField].type;
  uint64_t bound = 0;
  if constexpr (kType == FieldType::kText || kType == FieldType::kTextList) {
    if (kType == FieldType::kText && value.texts.list == nullptr) {
      lengths->of[kField] = value.texts.text != nullptr ? std::strlen(value.texts.text) : 0;
      return 4 * lengths->of[kField];
    }
    for (std::size_t t = 0; t < value.texts.count; ++t) {
      const char* text = value.texts.list[t];
      bound += 8 + (text != nullptr ? 4 * std::strlen(text) : 0);
    }
  } else if constexpr (kType == FieldType::kResult) {
    if (value.result.kind == ResultKind::kReply && value.result.text != nullptr) {
      lengths->result[kField] = std::strlen(value.result.text);
      bound = 4 * lengths->result[kField];
    }
  }
  return bound;
}

template <EntryKind kKind, std::size_t... kFields>
uint64_t upperBound(const FieldValue* values, TextLengths* lengths,
                    std::index_sequence<kFields...>) {
  return kPieces<kKind>.fixed + (textBound<kKind, kFields>(values[kFields], lengths) + ... + 0);
}

}  // namespace

// Writes straight into the window, which has room for the whole entry and,
// with `slack`, for a bound of it that leaves 16 bytes to spare past each
// piece (the generous bound was reserved).
class CaptureWriter::RawOut {
 public:
  explicit RawOut(char* at, bool slack = false) : at_(at), slack_(slack) {}
  void put(const char* data, std::size_t size) {
    std::memcpy(at_, data, size);
    at_ += size;
  }
  template <std::size_t kSize>
  void putConstant(const char* data) {
    std::memcpy(at_, data, kSize);
    at_ += kSize;
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
  // Up to 24 bytes of `data` (a number's digits), in one move with slack.
  void putShort(const char* data, std::size_t size) {
    if (slack_ && size <= 16) {
      std::memcpy(at_, data, 16);
      at_ += size;
    } else {
      put(data, size);
    }
  }
  // `length` bytes of `text`; eight at a time while they stand for
  // themselves, and the last eight of a text that did so far in one more
  // move over bytes already copied the same.
  void putEscaped(const char* text, std::size_t length) {
    // A local pointer: stores through a char* could change a member, which
    // would keep the compiler from holding it in a register.
    char* out = at_;
    const char* const end = text + length;
    if (length >= 8) {
      while (end - text >= 8) {
        uint64_t word;
        std::memcpy(&word, text, 8);
        if (!allPlain(word)) break;
        std::memcpy(out, &word, 8);
        out += 8;
        text += 8;
      }
      if (text != end && end - text < 8) {
        uint64_t last;
        std::memcpy(&last, end - 8, 8);
        if (allPlain(last)) {
          std::memcpy(out + (end - text) - 8, &last, 8);
          at_ = out + (end - text);
          return;
        }
      }
    }
    for (; text != end; ++text) out = putByte(static_cast<unsigned char>(*text), out);
    at_ = out;
  }
  char* end() const { return at_; }

 private:
  static char* putByte(unsigned char byte, char* out) {
    if (kPlain[byte]) {
      *out = static_cast<char>(byte);
      return out + 1;
    }
    return out + escapeByte(byte, out);
  }

  char* at_;
  bool slack_;
};

// Counts the bytes an entry takes, for the limit.
class CaptureWriter::CountOut {
 public:
  void put(const char*, std::size_t size) { count += size; }
  template <std::size_t kSize>
  void putConstant(const char*) {
    count += kSize;
  }
  void putChar(char) { ++count; }
  void putShort(const char*, std::size_t size) { count += size; }
  void putDecimal(uint64_t value) { count += decimalLength(value); }
  void putEscaped(const char* text, std::size_t length) { count += escapedLength(text, length); }
  uint64_t count = 0;
};

// One field of row `kKind`: " <name>=" and its value, as its type writes
// it; an optional field left out where it holds its `omitted`.
template <EntryKind kKind, std::size_t kField, typename Out>
DREZ_CAPTURE_INLINE void putField(Out& out, const FieldValue& value, const TextLengths& lengths) {
  constexpr const FieldRow& kDefinition = kEntryRows[static_cast<int>(kKind)].fields[kField];
  if constexpr (kDefinition.optional) {
    if (value.integer == kDefinition.omitted) return;
  }
  out.template putConstant<kPieces<kKind>.length[kField + 1]>(kPieces<kKind>.text[kField + 1]);

  const auto putInteger = [&out](int64_t integer) {
    if (integer < 0) {
      out.putChar('-');
      out.putDecimal(0 - static_cast<uint64_t>(integer));
    } else {
      out.putDecimal(static_cast<uint64_t>(integer));
    }
  };
  const auto putText = [&out](const char* text, std::size_t length) {
    if (text == nullptr) {
      out.put(kNoneWord, sizeof kNoneWord - 1);
      return;
    }
    out.putChar('"');
    out.putEscaped(text, length);
    out.putChar('"');
  };

  if constexpr (kDefinition.type == FieldType::kInteger) {
    putInteger(value.integer);
  } else if constexpr (kDefinition.type == FieldType::kText) {
    const FieldValue::Texts& texts = value.texts;
    if (texts.list == nullptr) {
      putText(texts.text, lengths.of[kField]);
      return;
    }
    out.putChar('"');
    for (std::size_t p = 0; p < texts.count; ++p) {
      out.putEscaped(&texts.separators[p], texts.separators[p] != '\0' ? 1 : 0);
      if (texts.list[p] != nullptr) out.putEscaped(texts.list[p], std::strlen(texts.list[p]));
    }
    out.putChar('"');
  } else if constexpr (kDefinition.type == FieldType::kTextList) {
    out.putChar('[');
    for (std::size_t t = 0; t < value.texts.count; ++t) {
      if (t > 0) out.putChar(' ');
      const char* text = value.texts.list[t];
      putText(text, text != nullptr ? std::strlen(text) : 0);
    }
    out.putChar(']');
  } else if constexpr (kDefinition.type == FieldType::kReply) {
    if (value.reply.kind == ReplyRef::Kind::kNumber) {
      out.putDecimal(value.reply.number);
    } else if (value.reply.kind == ReplyRef::Kind::kUnknown) {
      out.put(kUnknownWord, sizeof kUnknownWord - 1);
    } else {
      out.put(kNoneWord, sizeof kNoneWord - 1);
    }
  } else {
    static_assert(kDefinition.type == FieldType::kResult, "every field type is written");
    const ResultValue& result = value.result;
    if (result.kind == ResultKind::kInteger) {
      putInteger(result.number);
      return;
    }
    const char* word = kResultWords[static_cast<int>(result.kind)];
    out.put(word, std::strlen(word));
    if (result.kind == ResultKind::kReply) {
      out.putChar(' ');
      out.putDecimal(static_cast<uint64_t>(result.number));
      out.putChar(' ');
      putText(result.text != nullptr ? result.text : "",
              result.text != nullptr ? lengths.result[kField] : 0);
    }
  }
}

template <EntryKind kKind, typename Out, std::size_t... kFields>
DREZ_CAPTURE_INLINE void putFields(Out& out, const FieldValue* values, const TextLengths& lengths,
                                   std::index_sequence<kFields...>) {
  (putField<kKind, kFields>(out, values[kFields], lengths), ...);
}

// The entry's line: the head, the keyword, the fields, the line end. The
// row is known when compiling: one piece of code for every row, each made
// straight-line for its own.
template <EntryKind kKind, typename Out>
DREZ_CAPTURE_INLINE void CaptureWriter::format(Out& out, const EntryHead& head, int depth,
                                               const FieldValue* values,
                                               const TextLengths& lengths) {
  if (head.ms == ms_value_ && ms_length_ != 0) {
    out.putShort(ms_text_, ms_length_);
  } else {
    out.putDecimal(head.ms);
  }
  out.putChar(' ');
  out.putDecimal(static_cast<uint64_t>(depth < 0 ? 0 : depth));
  out.putChar(' ');
  out.putDecimal(static_cast<uint64_t>(head.script < 0 ? 0 : head.script));
  out.template putConstant<kPieces<kKind>.length[0]>(kPieces<kKind>.text[0]);
  constexpr int kCount = kEntryRows[static_cast<int>(kKind)].fieldCount;
  putFields<kKind>(out, values, lengths, std::make_index_sequence<kCount>());
  out.putChar('\n');
}

void CaptureWriter::rememberMs(uint64_t ms) {
  RawOut digits(ms_text_);
  digits.putDecimal(ms);
  ms_value_ = ms;
  ms_length_ = static_cast<std::size_t>(digits.end() - ms_text_);
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
  constexpr EntryKind kKind = EntryKind::kStopped;
  constexpr int kCount = kEntryRows[static_cast<int>(kKind)].fieldCount;
  const FieldValue value = FieldValue::ofText(reason);
  TextLengths lengths;
  upperBound<kKind>(&value, &lengths, std::make_index_sequence<kCount>());
  CountOut count;
  format<kKind>(count, head, open_, &value, lengths);
  // The reserve keeps room for it; a reason too long for that goes unsaid.
  if (bytes() + count.count <= max_bytes_ && reserve(static_cast<std::size_t>(count.count))) {
    RawOut out(at_);
    format<kKind>(out, head, open_, &value, lengths);
    at_ = out.end();
  }
  stop(State::kStopped, why, reason);
}

void CaptureWriter::stopWith(const EntryHead& head, const char* reason) {
  if (state_ != State::kRecording) return;
  writeStopped(head, reason, StopReason::kCaller);
}

template <EntryKind kKind>
bool CaptureWriter::write(const EntryHead& head, const FieldValue* values) {
  constexpr const EntryRow& kDefinition = kEntryRows[static_cast<int>(kKind)];
  constexpr int kCount = kDefinition.fieldCount;
  // A `stopped` entry is stopWith's alone.
  if (kKind == EntryKind::kStopped || state_ != State::kRecording) return false;
  for (int i = 0; i < kCount; ++i) {
    if (values[i].type != kDefinition.fields[i].type) return false;
  }
  if (kKind == EntryKind::kEnd && open_ == 0) return false;
  const int depth = kKind == EntryKind::kEnd ? open_ - 1 : open_;
  if (head.ms != ms_value_ || ms_length_ == 0) rememberMs(head.ms);

  // The limit: measured exactly only when the generous bound comes near it.
  const uint64_t room = max_bytes_ > kStoppedReserve ? max_bytes_ - kStoppedReserve : 0;
  TextLengths lengths;
  const uint64_t bound = upperBound<kKind>(values, &lengths, std::make_index_sequence<kCount>());
  uint64_t need = bound;
  if (bytes() + bound > room) {
    CountOut exact;
    format<kKind>(exact, head, depth, values, lengths);
    if (bytes() + exact.count > room) {
      char reason[64] = "the capture reached max_bytes=";
      RawOut digits(reason + std::strlen(reason));
      digits.putDecimal(max_bytes_);
      *digits.end() = '\0';
      writeStopped(head, reason, StopReason::kLimit);
      return false;
    }
    need = exact.count;
  }
  if (static_cast<uint64_t>(end_ - at_) < need && !reserve(static_cast<std::size_t>(need))) {
    return false;
  }
  RawOut out(at_, need == bound);
  format<kKind>(out, head, depth, values, lengths);
  at_ = out.end();

  if constexpr (kKind == EntryKind::kEnd) {
    --open_;
  } else if constexpr (kDefinition.opens == Opens::kHostCall) {
    ++open_;
  } else if constexpr (kDefinition.opens == Opens::kIfOpen) {
    if (values[kCount - 1].result.kind == ResultKind::kOpen) ++open_;
  }
  return true;
}

namespace {

using RowWriter = bool (CaptureWriter::*)(const EntryHead&, const FieldValue*);

// The writer of each row, in the order of EntryKind (which makes each one).
template <std::size_t... kKinds>
constexpr std::array<RowWriter, sizeof...(kKinds)> rowWriters(std::index_sequence<kKinds...>) {
  return {&CaptureWriter::write<static_cast<EntryKind>(kKinds)>...};
}

constexpr auto kRowWriters = rowWriters(std::make_index_sequence<kEntryKindCount>());

}  // namespace

bool CaptureWriter::write(const EntryHead& head, EntryKind kind, const FieldValue* values,
                          int count) {
  const int index = static_cast<int>(kind);
  if (index < 0 || index >= kEntryKindCount || count != kEntryRows[index].fieldCount) {
    return false;
  }
  return (this->*kRowWriters[static_cast<std::size_t>(index)])(head, values);
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
