#include "capture_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <sstream>
#include <system_error>
#include <utility>

namespace drezcapture {

namespace {

// One field's value as read, before it goes into its entry's struct.
struct Value {
  int64_t integer = 0;
  Text text;
  std::vector<Text> list;
  ReplyRef reply = ReplyRef::none();
  Result result;
};

// The entry structs from their fields, in the order of their rows.
template <typename T>
T build(const LineHead& head, const std::vector<Value>& v);

template <>
BeginEntry build(const LineHead& head, const std::vector<Value>& v) {
  return {head, v[0].text, v[1].integer, v[2].text};
}
template <>
ExportEntry build(const LineHead& head, const std::vector<Value>& v) {
  return {head, v[0].text, v[1].integer != 0};
}
template <>
DeviceEntry build(const LineHead& head, const std::vector<Value>& v) {
  return {head, v[0].integer, v[1].integer, v[2].integer, v[3].text};
}
template <>
ControlEntry build(const LineHead& head, const std::vector<Value>& v) {
  return {head, v[0].text, v[1].text, v[2].text, v[3].list, v[4].text, v[5].integer != 0};
}
template <>
RequestEntry build(const LineHead& head, const std::vector<Value>& v) {
  return {head, v[0].text};
}
template <>
ReleaseEntry build(const LineHead& head, const std::vector<Value>& v) {
  return {head, v[0].reply};
}
template <>
EventEntry build(const LineHead& head, const std::vector<Value>& v) {
  return {head, v[0].integer};
}
template <>
NotifyEntry build(const LineHead& head, const std::vector<Value>& v) {
  return {head, v[0].integer, v[1].integer};
}
template <>
CallbackEntry build(const LineHead& head, const std::vector<Value>& v) {
  return {head, v[0].integer, v[1].integer};
}
template <>
DeleteEntry build(const LineHead& head, const std::vector<Value>& v) {
  return {head, v[0].integer};
}
template <>
CommandEntry build(const LineHead& head, const std::vector<Value>& v) {
  return {head, v[0].text, v[1].result};
}
template <>
HandBackEntry build(const LineHead& head, const std::vector<Value>& v) {
  return {head, v[0].reply, v[1].result};
}
template <>
OtherCommandEntry build(const LineHead& head, const std::vector<Value>& v) {
  return {head, v[0].integer, v[1].result};
}
template <>
EndEntry build(const LineHead& head, const std::vector<Value>& v) {
  return {head, v[0].result, 0};
}
template <>
StoppedEntry build(const LineHead& head, const std::vector<Value>& v) {
  return {head, v[0].text};
}

using Builder = Entry (*)(const LineHead&, const std::vector<Value>&);

template <std::size_t I>
Entry buildAt(const LineHead& head, const std::vector<Value>& values) {
  return Entry(std::in_place_index<I>, build<std::variant_alternative_t<I, Entry>>(head, values));
}

// A builder per entry kind, indexed by EntryKind.
template <std::size_t... I>
constexpr std::array<Builder, sizeof...(I)> builders(std::index_sequence<I...>) {
  return {&buildAt<I>...};
}
constexpr auto kBuilders = builders(std::make_index_sequence<kEntryKindCount>());

// Reads one line, left to right; every error names the file and the line.
class LineParser {
 public:
  LineParser(std::string_view line, const std::string& name, std::size_t number)
      : line_(line), name_(name), number_(number) {}

  [[noreturn]] void fail(const std::string& message) const {
    throw CaptureError(name_ + ":" + std::to_string(number_) + ": " + message);
  }

  // "expected <what>, found '<what is there>'".
  [[noreturn]] void expected(const char* what) const {
    std::string_view found = line_.substr(at_);
    const std::size_t blank = found.find(' ', 1);
    if (blank != std::string_view::npos) found = found.substr(0, blank);
    if (found.size() > 40) found = found.substr(0, 40);
    if (found.empty()) fail(std::string("expected ") + what + ", found the end of the line");
    fail(std::string("expected ") + what + ", found '" + std::string(found) + "'");
  }

  bool atEnd() const { return at_ == line_.size(); }
  bool take(char c) {
    if (at_ < line_.size() && line_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool takeWord(std::string_view word) {
    if (line_.substr(at_, word.size()) != word) return false;
    const std::size_t after = at_ + word.size();
    // A whole word: followed by a blank, a ']' or the end.
    if (after < line_.size() && line_[after] != ' ' && line_[after] != ']') return false;
    at_ = after;
    return true;
  }
  void blank(const char* what) {
    if (!take(' ')) expected(what);
  }

  int64_t integer(const char* what) {
    const std::size_t start = at_;
    const bool negative = take('-');
    uint64_t magnitude = 0;
    std::size_t digits = 0;
    while (at_ < line_.size() && line_[at_] >= '0' && line_[at_] <= '9') {
      const uint64_t digit = static_cast<uint64_t>(line_[at_] - '0');
      if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10) {
        at_ = start;
        fail(std::string(what) + " out of range");
      }
      magnitude = magnitude * 10 + digit;
      ++at_;
      ++digits;
    }
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    if (digits == 0 || magnitude > limit || !endsToken()) {
      at_ = start;
      expected(what);
    }
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  }
  // An integer from `least` to `most`.
  int64_t integer(const char* what, int64_t least, int64_t most) {
    const std::size_t start = at_;
    const int64_t value = integer(what);
    if (value < least || value > most) {
      at_ = start;
      expected(
          (std::string(what) + " from " + std::to_string(least) + " to " + std::to_string(most))
              .c_str());
    }
    return value;
  }
  uint64_t unsignedNumber(const char* what) {
    if (at_ < line_.size() && line_[at_] == '-') expected(what);
    return static_cast<uint64_t>(integer(what));
  }

  // A quoted text; `none` for null.
  Text text(const char* what) {
    if (takeWord(kNoneWord)) return std::nullopt;
    return quoted(what);
  }
  std::string quoted(const char* what) {
    const std::size_t start = at_;
    if (!take('"')) expected(what);
    std::string out;
    while (true) {
      if (at_ == line_.size()) {
        at_ = start;
        fail(std::string(what) + " has no closing quote");
      }
      const char c = line_[at_];
      if (c == '"') break;
      if (c == '\\') {
        unsigned char byte = 0;
        const std::size_t length =
            unescapeSequence(line_.data() + at_, line_.data() + line_.size(), &byte);
        if (length == 0) {
          fail("malformed escape '" + std::string(line_.substr(at_, 4)) + "' in " + what);
        }
        out.push_back(static_cast<char>(byte));
        at_ += length;
        continue;
      }
      if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
        fail(std::string("a byte that must be escaped in ") + what);
      }
      out.push_back(c);
      ++at_;
    }
    ++at_;
    if (!endsToken()) expected(what);
    return out;
  }

  std::vector<Text> list(const char* what) {
    if (!take('[')) expected(what);
    std::vector<Text> texts;
    while (!take(']')) {
      if (!texts.empty()) blank(what);
      texts.push_back(text(what));
    }
    if (!endsToken()) expected(what);
    return texts;
  }

  ReplyRef reply(const char* what) {
    if (takeWord(kNoneWord)) return ReplyRef::none();
    if (takeWord(kUnknownWord)) return ReplyRef::unknown();
    const std::size_t start = at_;
    const uint64_t number = unsignedNumber(what);
    if (number == 0) {
      at_ = start;
      expected(what);
    }
    return ReplyRef::numbered(number);
  }

  Result result(const char* what) {
    Result result;
    for (int kind = 0; kind < static_cast<int>(sizeof kResultWords / sizeof kResultWords[0]);
         ++kind) {
      const char* word = kResultWords[kind];
      if (*word != '\0' && takeWord(word)) {
        result.kind = static_cast<ResultKind>(kind);
        if (result.kind == ResultKind::kReply) {
          blank("a reply number");
          result.number = static_cast<int64_t>(unsignedNumber("a reply number"));
          blank("a reply text");
          result.text = quoted("a reply text");
        }
        return result;
      }
    }
    result.kind = ResultKind::kInteger;
    result.number = integer(what);
    return result;
  }

  // "<name>=" of the next field.
  void fieldName(const char* name) {
    const std::size_t length = std::strlen(name);
    if (line_.substr(at_, length) != name || line_.substr(at_ + length, 1) != "=") {
      expected((std::string("'") + name + "='").c_str());
    }
    at_ += length + 1;
  }

  std::string_view keyword() {
    const std::size_t start = at_;
    while (at_ < line_.size() && line_[at_] != ' ') ++at_;
    return line_.substr(start, at_ - start);
  }

 private:
  bool endsToken() const { return at_ == line_.size() || line_[at_] == ' ' || line_[at_] == ']'; }

  std::string_view line_;
  const std::string& name_;
  std::size_t number_;
  std::size_t at_ = 0;
};

const EntryRow* rowOf(std::string_view keyword) {
  for (const EntryRow& definition : kEntryRows) {
    if (keyword == definition.keyword) return &definition;
  }
  return nullptr;
}

Value readField(LineParser& parser, const FieldRow& field) {
  Value value;
  switch (field.type) {
    case FieldType::kInteger:
      value.integer = parser.integer(field.what, field.least, field.most);
      break;
    case FieldType::kText:
      value.text = parser.text(field.what);
      break;
    case FieldType::kTextList:
      value.list = parser.list(field.what);
      break;
    case FieldType::kReply:
      value.reply = parser.reply(field.what);
      break;
    case FieldType::kResult:
      value.result = parser.result(field.what);
      break;
  }
  return value;
}

// The header: "drez-capture <version>".
int readHeader(std::string_view line, const std::string& name) {
  LineParser parser(line, name, 1);
  const std::string expected = std::string(kHeaderName) + " " + std::to_string(kFormatVersion);
  if (!parser.takeWord(kHeaderName) || !parser.take(' ')) {
    parser.fail("not a capture: expected '" + expected + "', found '" +
                std::string(line.substr(0, 40)) + "'");
  }
  const int64_t version = parser.integer("a format version");
  if (!parser.atEnd()) {
    parser.take(' ');
    parser.expected("the end of the header");
  }
  if (version != kFormatVersion) {
    parser.fail("capture version " + std::to_string(version) +
                " is not supported (this reader reads version " + std::to_string(kFormatVersion) +
                ")");
  }
  return static_cast<int>(version);
}

// The capture read so far: the entries, the calls open and the scripts.
class CaptureBuilder {
 public:
  CaptureBuilder(Capture& capture, const std::string& name) : capture_(capture), name_(name) {}

  void addLine(std::string_view line, std::size_t number) {
    LineParser parser(line, name_, number);
    if (capture_.stopped) parser.fail("an entry after the capture stopped");
    LineHead head;
    head.line = number;
    head.ms = parser.unsignedNumber("a time in milliseconds");
    parser.blank("a depth");
    const uint64_t depth = parser.unsignedNumber("a depth");
    parser.blank("a script number");
    head.script = static_cast<int64_t>(parser.unsignedNumber("a script number"));
    parser.blank("a keyword");
    const std::string_view keyword = parser.keyword();
    const EntryRow* definition = rowOf(keyword);
    if (definition == nullptr) parser.fail("unknown entry '" + std::string(keyword) + "'");
    // An `end` stands at the depth of the call it ends.
    const std::size_t expected_depth =
        definition->kind == EntryKind::kEnd && !open_.empty() ? open_.size() - 1 : open_.size();
    if (depth != expected_depth) {
      parser.fail("'" + std::string(keyword) + "' at depth " + std::to_string(depth) +
                  " where it should be at depth " + std::to_string(expected_depth));
    }
    head.depth = static_cast<int>(depth);
    checkScript(parser, *definition, head);

    std::vector<Value> values;
    values.reserve(static_cast<std::size_t>(definition->fieldCount));
    for (int i = 0; i < definition->fieldCount; ++i) {
      const FieldRow& field = definition->fields[i];
      if (field.optional && parser.atEnd()) {
        values.emplace_back();
        values.back().integer = field.omitted;
        continue;
      }
      parser.blank((std::string("'") + field.name + "='").c_str());
      parser.fieldName(field.name);
      values.push_back(readField(parser, field));
      if (field.studioInt) noteWide(field, values.back().integer, number);
    }
    if (!parser.atEnd()) {
      parser.take(' ');
      parser.expected("the end of the line");
    }

    const bool has_result =
        definition->fieldCount > 0 &&
        definition->fields[definition->fieldCount - 1].type == FieldType::kResult;
    const bool open = has_result && values.back().result.kind == ResultKind::kOpen;
    if (open && definition->opens != Opens::kIfOpen) {
      parser.fail("'" + std::string(keyword) + "' cannot be open");
    }
    checkKinds(parser, *definition, values);

    Entry entry = kBuilders[static_cast<std::size_t>(definition->kind)](head, values);
    if (definition->kind == EntryKind::kEnd) {
      if (open_.empty()) parser.fail("'end' with no call open");
      std::get<EndEntry>(entry).opening = open_.back();
      open_.pop_back();
    }
    if (definition->kind == EntryKind::kStopped) capture_.stopped = true;
    capture_.entries.push_back(std::move(entry));
    if (definition->opens == Opens::kHostCall || open) {
      open_.push_back(capture_.entries.size() - 1);
    } else if (open_.empty() && definition->kind != EntryKind::kStopped) {
      capture_.completeEntries = capture_.entries.size();
      capture_.completeLine = number;
    }
  }

  void finish() { capture_.openCalls = open_.size(); }

 private:
  // Script numbers: `begin` has none; an export makes a new one; every other
  // entry but `stopped` names a script an export made.
  void checkScript(const LineParser& parser, const EntryRow& definition, const LineHead& head) {
    if (definition.kind == EntryKind::kStopped) return;
    if (definition.kind == EntryKind::kBegin) {
      if (head.script != 0) parser.fail("'begin' names script " + std::to_string(head.script));
      return;
    }
    if (head.script == 0) {
      parser.fail("'" + std::string(definition.keyword) + "' names no script (script 0)");
    }
    const auto made = scripts_.find(head.script);
    if (definition.kind == EntryKind::kExport) {
      if (made != scripts_.end()) {
        parser.fail("script " + std::to_string(head.script) + " was created before, at line " +
                    std::to_string(made->second));
      }
      scripts_.emplace(head.script, head.line);
    } else if (made == scripts_.end()) {
      parser.fail("'" + std::string(definition.keyword) + "' of script " +
                  std::to_string(head.script) + ", which no export created");
    }
  }

  // What only the entries of their own may say.
  static void checkKinds(const LineParser& parser, const EntryRow& definition,
                         const std::vector<Value>& values) {
    if (definition.kind == EntryKind::kCallback &&
        !isPlainCallback(values[0].integer, values[1].integer)) {
      parser.fail("a callback of kind " + std::to_string(values[0].integer) + " with data " +
                  std::to_string(values[1].integer) +
                  " is no 'callback' entry: that kind has an entry of its own");
    }
    if (definition.kind == EntryKind::kOtherCommand && !isOtherCommandKind(values[0].integer)) {
      parser.fail("a command of kind " + std::to_string(values[0].integer) +
                  " is no 'other-command' entry: that kind has an entry of its own");
    }
  }

  void noteWide(const FieldRow& field, int64_t value, std::size_t number) {
    const int32_t narrow =
        static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
    if (narrow == value) return;
    std::string what = field.what;
    if (what.compare(0, 3, "an ") == 0) what.erase(0, 3);
    if (what.compare(0, 2, "a ") == 0) what.erase(0, 2);
    capture_.notes.push_back(
        name_ + ":" + std::to_string(number) + ": " + what + " " + std::to_string(value) +
        " is wider than 32 bits: a script gets it as " + std::to_string(narrow));
  }

  Capture& capture_;
  const std::string& name_;
  std::vector<std::size_t> open_;           // indices of the open calls' entries
  std::map<int64_t, std::size_t> scripts_;  // script number -> the line of its export
};

}  // namespace

const LineHead& headOf(const Entry& entry) {
  return std::visit([](const auto& e) -> const LineHead& { return e.head; }, entry);
}

std::size_t Capture::hostCalls() const {
  std::size_t calls = 0;
  for (const Entry& entry : entries) calls += isHostCall(kindOf(entry)) ? 1 : 0;
  return calls;
}

std::string Capture::describe() const {
  const std::string entry_count = std::to_string(entries.size()) + " entries";
  std::string text;
  if (complete()) {
    text = "complete, " + entry_count;
  } else {
    text = stopped ? "stopped" : "cut";
    text += ": complete up to line " + std::to_string(completeLine) + " (" +
            std::to_string(completeEntries) + " of " + entry_count + ")";
    if (openCalls > 0) {
      text += "; " + std::to_string(openCalls) + (openCalls == 1 ? " call open" : " calls open");
    }
    if (cutLine > 0) text += "; line " + std::to_string(cutLine) + " cut";
  }
  if (nulBytes > 0) {
    text += "; then " + std::to_string(nulBytes) + " NUL bytes (its host died)";
  }
  return text;
}

Capture parseCapture(std::string_view text, const std::string& name) {
  Capture capture;
  // The room the tap made and its dead host never used: NUL bytes to the
  // end. A NUL anywhere else is no capture.
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) {
    const std::size_t other = text.find_first_not_of('\0', nul);
    if (other != std::string_view::npos) {
      const std::size_t line =
          1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + nul, '\n'));
      throw CaptureError(name + ":" + std::to_string(line) +
                         ": not a capture: a NUL byte inside it, not only at its end");
    }
    capture.nulBytes = text.size() - nul;
    text = text.substr(0, nul);
  }
  CaptureBuilder builder(capture, name);
  std::size_t number = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    ++number;
    const std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) {
      // No line end: the writer was stopped in the middle of this line.
      const std::string header = std::string(kHeaderName) + " " + std::to_string(kFormatVersion);
      if (number == 1 && header.compare(0, text.size() - at, text.substr(at)) != 0) {
        readHeader(text.substr(at), name);  // not a capture: says why
      }
      capture.cutLine = number;
      break;
    }
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // CRLF from an editor
    if (number == 1) {
      capture.version = readHeader(line, name);
      continue;
    }
    if (line.empty() || line.front() == '#') continue;  // a person's notes
    builder.addLine(line, number);
  }
  if (number == 0) capture.cutLine = 1;  // empty: even the header is missing
  builder.finish();
  return capture;
}

Capture readCaptureFile(const std::string& path) {
  // The file's type before it is opened: opening a FIFO would wait for a
  // writer, a device could be read without end.
  std::error_code code;
  const std::filesystem::file_status status = std::filesystem::status(path, code);
  if (code || !std::filesystem::exists(status)) throw CaptureError(path + ": no such file");
  if (std::filesystem::is_directory(status)) {
    throw CaptureError(path + ": a directory, not a capture file");
  }
  if (!std::filesystem::is_regular_file(status)) {
    throw CaptureError(path + ": not a regular file (a FIFO, a device or a socket), not a capture");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw CaptureError(path + ": cannot be read");
  std::ostringstream contents;
  contents << in.rdbuf();
  if (in.bad()) throw CaptureError(path + ": cannot be read");
  return parseCapture(contents.str(), path);
}

}  // namespace drezcapture
