// The records a host hands to a script with callback kinds 1 and 2, and the
// parsed request text. Their layout is part of the binary contract: integers
// are 32-bit little-endian; the offsets asserted below hold wherever
// pointers are 4 bytes (the studio's 32-bit hosts). On 64-bit targets the
// field order is the same, with 8-byte pointers placed at their natural
// alignment.
//
// Ownership: the host builds and owns DeviceUpdate and ControlEvent (and the
// ParsedCommand a ControlEvent points to); a script reads them only during
// the call that delivers them and keeps no pointer into them.

#ifndef DREZ_ABI_DREZ_RECORDS_H_
#define DREZ_ABI_DREZ_RECORDS_H_

#include <stddef.h>
#include <stdint.h>

// A device's status for one index (an infodriver slot or a router
// destination), delivered with CB_DEVICE_UPDATE. Built and owned by the host,
// read only during the call that delivers it.
struct DeviceUpdate {
  int32_t device;    // device number, as "SD" reported it
  int32_t reserved;  // the host's; never read
  int32_t index;     // slot or destination
  int32_t number;    // numeric value (a router's routed source)
  // The update's text, NUL-terminated and stored inline: the record runs on
  // for as long as the host made it.
  char text[1];
};

struct ParsedCommand;

// An event from a control on the script's panel, delivered with
// CB_CONTROL_EVENT. Built and owned by the host. Either pointer may be null,
// which reads as empty text.
struct ControlEvent {
  uint8_t reserved[12];         // the host's; never read
  const char* controlId;        // id of the control the event comes from
  const ParsedCommand* parsed;  // the event's command text, parsed
};

enum { MAX_COMMAND_PARTS = 32 };

// A dotted name/value text split in place: "name.part1.part2=value".
//
// `name` is the text before the first '.' or '='; each '.' before the first
// '=' starts one entry of `parts`; `value` is the text after the first '='.
// Once MAX_COMMAND_PARTS parts are recorded nothing more is split: the last
// part keeps the rest of the text, any '=' included.
//
// No text pointer is ever null: `name`, `value` and every entry of `parts`
// beyond `partCount` point at one shared empty text. The others point into
// `buffer`, the object's own copy, which it frees on destruction. Never
// copied; lives for the call that built it. A script's dispatcher builds one
// from the text of each CB_HOST_REQUEST; a host builds one for each
// ControlEvent, with this parse or by filling the fields by the same rules.
struct ParsedCommand {
  // Parses `text`, which may be null (the drez_abi library). Throws
  // std::bad_alloc when the copy cannot be allocated.
  explicit ParsedCommand(const char* text);
  ~ParsedCommand();
  ParsedCommand(const ParsedCommand&) = delete;
  ParsedCommand& operator=(const ParsedCommand&) = delete;

  const char* name;
  const char* parts[MAX_COMMAND_PARTS];
  const char* value;
  int32_t partCount;  // 0 to MAX_COMMAND_PARTS
  bool hasValue;      // an '=' was found
  uint8_t reserved[3];
  char* buffer;  // the copy of the text, or null for null or empty text
};

// The shared empty text of ParsedCommand and decodeDREZString.
extern const char drez_empty_text[1];

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(DeviceUpdate, device) == 0, "DeviceUpdate layout");
static_assert(offsetof(DeviceUpdate, index) == 8, "DeviceUpdate layout");
static_assert(offsetof(DeviceUpdate, number) == 12, "DeviceUpdate layout");
static_assert(offsetof(DeviceUpdate, text) == 16, "DeviceUpdate layout");
static_assert(offsetof(ControlEvent, controlId) == 12, "ControlEvent layout");
static_assert(offsetof(ControlEvent, parsed) == 16, "ControlEvent layout");
static_assert(sizeof(ControlEvent) == 20, "ControlEvent layout");
static_assert(offsetof(ParsedCommand, name) == 0, "ParsedCommand layout");
static_assert(offsetof(ParsedCommand, parts) == 4, "ParsedCommand layout");
static_assert(offsetof(ParsedCommand, value) == 132, "ParsedCommand layout");
static_assert(offsetof(ParsedCommand, partCount) == 136, "ParsedCommand layout");
static_assert(offsetof(ParsedCommand, hasValue) == 140, "ParsedCommand layout");
static_assert(offsetof(ParsedCommand, buffer) == 144, "ParsedCommand layout");
static_assert(sizeof(ParsedCommand) == 148, "ParsedCommand layout");
#endif

#endif  // DREZ_ABI_DREZ_RECORDS_H_
