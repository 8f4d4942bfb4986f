#include "simulator/trace.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <string_view>

namespace drezhost {

namespace {

std::string indent(int depth) { return std::string(static_cast<std::size_t>(depth) * 2, ' '); }

// The length of the UTF-8 sequence at `pos`, or 0 when the bytes there are
// not one (a stray continuation byte, an overlong form, a surrogate, a
// sequence cut short).
std::size_t utf8Length(std::string_view text, std::size_t pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (pos + length > text.size()) return 0;
  if (byte(pos + 1) < low || byte(pos + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF) return 0;
  }
  return length;
}

// The code point of the valid UTF-8 sequence of `length` bytes at `pos`.
unsigned codePoint(std::string_view text, std::size_t pos, std::size_t length) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  unsigned point = byte(0) & (length == 2 ? 0x1Fu : length == 3 ? 0x0Fu : 0x07u);
  for (std::size_t i = 1; i < length; ++i) point = (point << 6) | (byte(i) & 0x3Fu);
  return point;
}

// Characters that print as nothing or reorder a line: C1 controls, zero-width
// and direction marks, the byte-order mark; and the non-characters, which
// no text may carry (XML, for one, refuses U+FFFE and U+FFFF).
bool invisible(unsigned point) {
  return (point >= 0x80 && point <= 0x9F) || (point >= 0x200B && point <= 0x200F) ||
         (point >= 0x202A && point <= 0x202E) || (point >= 0x2060 && point <= 0x2069) ||
         point == 0xFEFF || (point >= 0xFDD0 && point <= 0xFDEF) || (point & 0xFFFE) == 0xFFFE;
}

// Which bytes stand for themselves: kPlain[c] has bit 1 for shownText, and
// bit 2 for quoteText, where a double quote is escaped too.
constexpr std::array<unsigned char, 256> plainBytes() {
  std::array<unsigned char, 256> plain{};
  for (unsigned c = 0x20; c < 0x7F; ++c) {
    if (c != '\\') plain[c] = c == '"' ? 1 : 3;
  }
  return plain;
}
constexpr std::array<unsigned char, 256> kPlain = plainBytes();

// Appends the first `end` bytes of `text`, escaped; with `quote`, a double
// quote gets a backslash too. Runs of plain characters go in one append.
void appendEscaped(std::string& out, std::string_view text, std::size_t end, bool quote) {
  const unsigned char mask = quote ? 2 : 1;
  std::size_t pos = 0;
  while (pos < end) {
    std::size_t plain = pos;
    while (plain < end && (kPlain[static_cast<unsigned char>(text[plain])] & mask) != 0) ++plain;
    out.append(text.data() + pos, plain - pos);
    pos = plain;
    if (pos == end) break;
    const auto c = static_cast<unsigned char>(text[pos]);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
      ++pos;
      continue;
    }
    if (c >= 0x80) {
      const std::size_t length = utf8Length(text, pos);
      if (length != 0 && pos + length <= end) {
        const unsigned point = codePoint(text, pos, length);
        if (invisible(point)) {
          char escape[12];
          std::snprintf(escape, sizeof escape, "\\u{%04X}", point);
          out += escape;
        } else {
          out.append(text, pos, length);
        }
        pos += length;
        continue;
      }
    }
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default: {
        char escape[5];
        std::snprintf(escape, sizeof escape, "\\x%02X", c);
        out += escape;
      }
    }
    ++pos;
  }
}

// Appends `text` as shownText() shows it, cut after `limit` bytes.
void appendShownUpTo(std::string& out, std::string_view text, std::size_t limit, bool quote) {
  const std::size_t end = text.size() > limit ? limit : text.size();
  appendEscaped(out, text, end, quote);
  if (end < text.size()) {
    out += "... (";
    out += std::to_string(text.size());
    out += " bytes)";
  }
}

}  // namespace

void appendShown(std::string& out, std::string_view text) {
  appendShownUpTo(out, text, kShownTextLimit, false);
}

void appendQuoted(std::string& out, std::string_view text) {
  out += '"';
  appendShownUpTo(out, text, kShownTextLimit, true);
  out += '"';
}

void appendNumber(std::string& out, long long number) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  out.append(digits, static_cast<std::size_t>(end - digits));  // not the iterators' replace
}

std::string shownText(const std::string& text) { return shownText(text, kShownTextLimit); }

std::string shownText(const std::string& text, std::size_t limit) {
  std::string shown;
  shown.reserve((text.size() > limit ? limit : text.size()) + 2);
  appendShownUpTo(shown, text, limit, false);
  return shown;
}

std::string quoteText(const std::string& text) {
  std::string quoted;
  quoted.reserve((text.size() > kShownTextLimit ? kShownTextLimit : text.size()) + 4);
  appendQuoted(quoted, text);
  return quoted;
}

void Trace::emit(const std::string& line, TraceLineKind kind) {
  if (out_ != nullptr) {
    *out_ << line << '\n';
    out_->flush();
  }
  if (sink_) sink_(line, kind);
}

int Trace::entry(int depth, const std::string& script, const std::string& text) {
  ++count_;
  if (!active()) return count_;
  std::string number = std::to_string(count_);
  std::string line = number.size() < 5 ? std::string(5 - number.size(), ' ') + number : number;
  line += "  " + indent(depth);
  if (show_scripts_ && !script.empty()) line += "[" + script + "] ";
  emit(line + text, TraceLineKind::Entry);
  return count_;
}

void Trace::note(int depth, const std::string& text) {
  if (active()) emit("       " + indent(depth) + text, TraceLineKind::Note);
}

void Trace::debug(int depth, const std::string& text) {
  if (active()) emit("       " + indent(depth) + text, TraceLineKind::Debug);
}

void Trace::print(const std::string& text) {
  if (active()) emit(text, TraceLineKind::Note);
}

}  // namespace drezhost
