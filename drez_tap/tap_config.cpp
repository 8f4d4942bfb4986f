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

}  // namespace

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
