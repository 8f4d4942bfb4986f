#include "tap_config.h"

#include <cstddef>

namespace dreztap {

namespace {

std::string trimmed(const std::string& text) {
  const char* const blanks = " \t\r";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  const std::size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

// A byte count: decimal digits, nothing else, not past 2^64 - 1.
bool parseBytes(const std::string& text, uint64_t* bytes) {
  if (text.empty()) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  *bytes = value;
  return true;
}

// Whether `text` is well-formed UTF-8: no overlong forms, no surrogates,
// nothing past U+10FFFF.
bool isUtf8(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    uint32_t code = 0;
    uint32_t least = 0;
    if (lead < 0x80) {
      ++at;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1Fu;
      least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0Fu;
      least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07u;
      least = 0x10000;
    } else {
      return false;
    }
    if (text.size() - at < length) return false;
    for (std::size_t i = 1; i < length; ++i) {
      const unsigned char next = static_cast<unsigned char>(text[at + i]);
      if ((next & 0xC0u) != 0x80u) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    at += length;
  }
  return true;
}

void appendUtf8(uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// UTF-16 after its byte order mark, as UTF-8; a lone surrogate becomes
// U+FFFD, an odd last byte is left out.
std::string fromUtf16(const std::string& bytes, bool littleEndian) {
  std::string text;
  const auto unit = [&bytes, littleEndian](std::size_t at) {
    const uint32_t first = static_cast<unsigned char>(bytes[at]);
    const uint32_t second = static_cast<unsigned char>(bytes[at + 1]);
    return littleEndian ? first | (second << 8) : (first << 8) | second;
  };
  for (std::size_t at = 2; at + 1 < bytes.size(); at += 2) {
    uint32_t code = unit(at);
    if (code >= 0xD800 && code <= 0xDBFF && at + 3 < bytes.size()) {
      const uint32_t low = unit(at + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        at += 2;
      }
    }
    if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
    appendUtf8(code, &text);
  }
  return text;
}

}  // namespace

DecodedConfig decodeConfigText(const std::string& bytes) {
  if (bytes.compare(0, 2, "\xFF\xFE") == 0)
    return {fromUtf16(bytes, true), ConfigEncoding::kUtf16Le};
  if (bytes.compare(0, 2, "\xFE\xFF") == 0)
    return {fromUtf16(bytes, false), ConfigEncoding::kUtf16Be};
  const std::size_t mark = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  std::string text = bytes.substr(mark);
  if (isUtf8(text)) return {text, ConfigEncoding::kUtf8};
  return {bytes, ConfigEncoding::kLegacy};
}

const char* encodingName(ConfigEncoding encoding) {
  switch (encoding) {
    case ConfigEncoding::kUtf8:
      return "UTF-8";
    case ConfigEncoding::kUtf16Le:
      return "UTF-16 (little-endian)";
    case ConfigEncoding::kUtf16Be:
      return "UTF-16 (big-endian)";
    case ConfigEncoding::kLegacy:
      break;
  }
  return "the ANSI code page";
}

TapConfig parseTapConfig(const std::string& text, const std::string& name) {
  TapConfig config;
  bool seen_script = false;
  bool seen_capture = false;
  bool seen_max_bytes = false;
  std::size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  for (std::size_t number = 1; at <= text.size(); ++number) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = trimmed(text.substr(at, end - at));
    at = end + 1;
    if (line.empty() || line[0] == '#') continue;

    const std::string where = name + ":" + std::to_string(number) + ": ";
    const std::size_t equals = line.find('=');
    const std::string key = equals == std::string::npos ? line : trimmed(line.substr(0, equals));
    const std::string value = equals == std::string::npos ? "" : trimmed(line.substr(equals + 1));
    bool* seen = key == "script"      ? &seen_script
                 : key == "capture"   ? &seen_capture
                 : key == "max_bytes" ? &seen_max_bytes
                                      : nullptr;
    if (equals == std::string::npos || seen == nullptr) {
      config.problems.push_back(where + "ignored '" + line +
                                "' (not script=, capture= or max_bytes=)");
      continue;
    }
    if (*seen) config.problems.push_back(where + key + "= given again; this one counts");
    *seen = true;
    if (key == "script") {
      config.script = value;
    } else if (key == "capture") {
      config.capture = value;
    } else if (!parseBytes(value, &config.maxBytes)) {
      config.maxBytes = kDefaultMaxBytes;
      config.problems.push_back(where + "max_bytes=" + value + " is not a number of bytes; using " +
                                std::to_string(kDefaultMaxBytes));
    }
  }
  return config;
}

std::string expandCaptureName(const std::string& pattern, uint64_t processId,
                              const std::string& startTime) {
  std::string name;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    if (pattern[i] == '%' && next == 'p') {
      name += std::to_string(processId);
    } else if (pattern[i] == '%' && next == 't') {
      name += startTime;
    } else if (pattern[i] == '%' && next == '%') {
      name += '%';
    } else {
      name += pattern[i];
      continue;
    }
    ++i;
  }
  return name;
}

}  // namespace dreztap
