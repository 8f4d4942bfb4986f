#include <cstring>

#include "drez_records.h"

const char drez_empty_text[1] = {'\0'};

ParsedCommand::ParsedCommand(const char* text)
    : name(drez_empty_text),
      value(drez_empty_text),
      partCount(0),
      hasValue(false),
      reserved{},
      buffer(nullptr) {
  for (const char*& part : parts) part = drez_empty_text;
  const std::size_t length = text != nullptr ? std::strlen(text) : 0;
  if (length == 0) return;

  buffer = new char[length + 1];
  std::memcpy(buffer, text, length + 1);
  for (std::size_t at = 0; at < length && partCount < MAX_COMMAND_PARTS; ++at) {
    if (buffer[at] == '.') {
      if (name == drez_empty_text) name = buffer;
      buffer[at] = '\0';
      parts[partCount++] = buffer + at + 1;
    } else if (buffer[at] == '=') {
      if (name == drez_empty_text) name = buffer;
      buffer[at] = '\0';
      hasValue = true;
      value = buffer + at + 1;
      break;
    }
  }
  if (name == drez_empty_text) name = buffer;
}

ParsedCommand::~ParsedCommand() { delete[] buffer; }
