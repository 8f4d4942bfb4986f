// The request parse: a request text of any bytes parses into a
// ParsedCommand that keeps every promise of its layout, and the text can be
// rebuilt from the name, the parts and the value.
//
// Input: the request text, up to its first NUL. An empty input stands for a
// null text.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "drez_records.h"
#include "fuzz_check.h"

namespace {

bool pointsInto(const char* text, const char* buffer, std::size_t length) {
  return text >= buffer && text <= buffer + length;
}

bool hasSeparator(const char* text) { return std::strpbrk(text, ".=") != nullptr; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = bytes.c_str();
  const ParsedCommand parsed(size == 0 ? nullptr : text.c_str());

  FUZZ_CHECK(parsed.partCount >= 0 && parsed.partCount <= MAX_COMMAND_PARTS);
  FUZZ_CHECK(parsed.name != nullptr && parsed.value != nullptr);
  for (int i = parsed.partCount; i < MAX_COMMAND_PARTS; ++i) {
    FUZZ_CHECK(parsed.parts[i] == drez_empty_text);
  }
  if (text.empty()) {
    FUZZ_CHECK(parsed.buffer == nullptr);
    FUZZ_CHECK(parsed.name == drez_empty_text && parsed.value == drez_empty_text);
    FUZZ_CHECK(parsed.partCount == 0 && !parsed.hasValue);
    return 0;
  }

  // The buffer is a copy in which only separators became NULs.
  const std::size_t length = text.size();
  FUZZ_CHECK(parsed.buffer != nullptr && parsed.buffer != text.c_str());
  FUZZ_CHECK(parsed.buffer[length] == '\0');
  for (std::size_t i = 0; i < length; ++i) {
    const char c = parsed.buffer[i];
    FUZZ_CHECK(c == text[i] || (c == '\0' && (text[i] == '.' || text[i] == '=')));
  }

  // Every text points into the buffer (or is the shared empty text), in
  // order.
  FUZZ_CHECK(parsed.name == parsed.buffer);
  const char* previous = parsed.name;
  for (int i = 0; i < parsed.partCount; ++i) {
    FUZZ_CHECK(pointsInto(parsed.parts[i], parsed.buffer, length) && parsed.parts[i] > previous);
    previous = parsed.parts[i];
  }
  if (parsed.hasValue) {
    FUZZ_CHECK(pointsInto(parsed.value, parsed.buffer, length) && parsed.value > previous);
  } else {
    FUZZ_CHECK(parsed.value == drez_empty_text);
  }

  // The name and every part but a 32nd hold no separator; the 32nd holds
  // the rest of the text, so then no '=' was taken.
  FUZZ_CHECK(!hasSeparator(parsed.name));
  for (int i = 0; i < parsed.partCount && i < MAX_COMMAND_PARTS - 1; ++i) {
    FUZZ_CHECK(!hasSeparator(parsed.parts[i]));
  }
  FUZZ_CHECK(!(parsed.hasValue && parsed.partCount == MAX_COMMAND_PARTS));
  if (parsed.partCount < MAX_COMMAND_PARTS) {
    FUZZ_CHECK(parsed.hasValue == (text.find('=') != std::string::npos));
  }

  std::string rebuilt = parsed.name;
  for (int i = 0; i < parsed.partCount; ++i) rebuilt += std::string(".") + parsed.parts[i];
  if (parsed.hasValue) rebuilt += std::string("=") + parsed.value;
  FUZZ_CHECK_DETAIL(rebuilt == text, "rebuilt \"" + rebuilt + "\" from \"" + text + "\"");
  return 0;
}
