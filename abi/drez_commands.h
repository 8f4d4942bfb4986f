// The host's command vocabulary: every text a script may hand to
// drez_client_host::command with HOST_CMD_EXECUTE, one row each in
// drez_commands below.
//
// A command is its two-letter code, then its operands, each after exactly
// one space: a text operand between single quotes (inserted as it is, with
// nothing escaped), an integer in signed decimal (32 bits). A row lists its
// operands in the order they are sent; the first `required` are always
// there, the rest may be left off from the end. For example:
//
//   PS '1' 'panels/studio/p1.drez_ui'
//   TP 'statesheet=QZ_Studio_TX' '1' 'StC_Floor'
//   GS 12 45 1 0
//   RR 7 97 97 'ADD'
//
// A host tells commands apart by their first two characters
// (drez_find_command). What a command returns is its row's `result`: only
// the three commands whose result is DREZ_RESULT_REPLY return a reply, which
// the script hands back once with HOST_CMD_RELEASE (drez_client_host.h).
//
// The table is constant data: nothing here allocates, keeps state or needs
// a C++ standard library, so a freestanding host includes it as it is. Any
// thread may read it.

#ifndef DREZ_ABI_DREZ_COMMANDS_H_
#define DREZ_ABI_DREZ_COMMANDS_H_

#include <stdint.h>

// The commands, in the order of drez_commands. Each is named after what it
// asks of the host.
enum drez_command_id {
  DREZ_LOAD_PANEL,
  DREZ_SET_PROPERTY,
  DREZ_GET_PROPERTY,
  DREZ_LOOKUP_DEVICE,
  DREZ_LIST_CONTROLS,
  DREZ_SET_OUTPUT,
  DREZ_REGISTER_INFODRIVER,
  DREZ_UNREGISTER_INFODRIVER,
  DREZ_POLL_INFODRIVER,
  DREZ_REGISTER_ROUTER,
  DREZ_UNREGISTER_ROUTER,
  DREZ_POLL_ROUTER,
  DREZ_END_EVENT,
  DREZ_DETACH,
  DREZ_COMMAND_COUNT
};

// What an operand is. The text operands come first, then the integers.
enum drez_operand_kind {
  DREZ_OPERAND_NONE,  // no operand in this place
  // Text operands, between single quotes.
  DREZ_OPERAND_PANEL,       // the id of a panel of the host, such as 1
  DREZ_OPERAND_FILE,        // a panel file's name, the script's path in front
  DREZ_OPERAND_EXTRA,       // a further text for the host
  DREZ_OPERAND_ASSIGNMENT,  // <property>=<value>: a property and its new value
  DREZ_OPERAND_CONTROL,     // the id of a control on that panel
  DREZ_OPERAND_PROPERTY,    // a property's name; all for every property
  DREZ_OPERAND_NAME,        // a device's name as the host knows it
  DREZ_OPERAND_FILTER,      // chooses the controls whose ids are listed
  DREZ_OPERAND_ADD,         // exactly ADD: an option passed on to the host
  // Integer operands.
  DREZ_OPERAND_DEVICE,  // a device number, as a lookup replied it
  DREZ_OPERAND_FIRST,   // the first slot or destination of a range
  DREZ_OPERAND_LAST,    // the last slot or destination of that range
  DREZ_OPERAND_INDEX,   // one output of the device (its offset included)
  DREZ_OPERAND_STATE,   // an output's new state, 0 to 255
  DREZ_OPERAND_FLAG,    // 0 or 1: an option passed on to the host
  DREZ_OPERAND_EVENT,   // an event id
};

// True for the operands sent between single quotes.
constexpr bool drez_operand_is_text(drez_operand_kind kind) {
  return kind >= DREZ_OPERAND_PANEL && kind <= DREZ_OPERAND_ADD;
}

// What drez_client_host::command returns for a command.
enum drez_command_result {
  // A value the script ignores and never hands back.
  DREZ_RESULT_IGNORED,
  // Non-zero for success; never handed back.
  DREZ_RESULT_STATUS,
  // A reply: NUL-terminated text the host owns, or 0 for none. The script
  // hands a non-zero reply back once with HOST_CMD_RELEASE.
  DREZ_RESULT_REPLY,
};

// The kind of device a command's DREZ_OPERAND_DEVICE names. Infodrivers
// hold text in numbered slots; routers route a source to each numbered
// destination; output devices switch numbered outputs.
enum drez_device_kind {
  DREZ_DEVICE_NONE,  // the command names no device
  DREZ_DEVICE_INFODRIVER,
  DREZ_DEVICE_ROUTER,
  DREZ_DEVICE_OUTPUTS,
};

// What a command does with the device it names.
enum drez_device_use {
  DREZ_USE_NONE,        // it names no device
  DREZ_USE_SET_OUTPUT,  // switches one output
  // From now on, every change of a slot or destination in the range reaches
  // the script as a CB_DEVICE_UPDATE.
  DREZ_USE_REGISTER,
  // No more changes of the device reach the script.
  DREZ_USE_UNREGISTER,
  // The current state of each slot or destination in the range reaches the
  // script as a CB_DEVICE_UPDATE.
  DREZ_USE_POLL,
};

enum { DREZ_MAX_OPERANDS = 4 };

// One command of the vocabulary.
struct drez_command_row {
  drez_command_id id;  // its place in drez_commands
  char code[3];        // the two letters, NUL-terminated
  uint8_t required;    // how many operands are always sent
  uint8_t count;       // how many may be sent: the ones past `required` are optional
  drez_operand_kind operands[DREZ_MAX_OPERANDS];  // in order; DREZ_OPERAND_NONE past `count`
  drez_command_result result;
  drez_device_kind device;  // what its DREZ_OPERAND_DEVICE names
  drez_device_use use;      // what it does with that device
  const char* summary;      // what it asks of the host, in words
};

// clang-format off
inline constexpr drez_command_row drez_commands[DREZ_COMMAND_COUNT] = {
  {DREZ_LOAD_PANEL, "PS", 2, 3,
   {DREZ_OPERAND_PANEL, DREZ_OPERAND_FILE, DREZ_OPERAND_EXTRA},
   DREZ_RESULT_STATUS, DREZ_DEVICE_NONE, DREZ_USE_NONE,
   "load a panel file into a panel, replacing what it held"},
  {DREZ_SET_PROPERTY, "TP", 3, 3,
   {DREZ_OPERAND_ASSIGNMENT, DREZ_OPERAND_PANEL, DREZ_OPERAND_CONTROL},
   DREZ_RESULT_IGNORED, DREZ_DEVICE_NONE, DREZ_USE_NONE,
   "set a property of a control"},
  {DREZ_GET_PROPERTY, "TG", 3, 3,
   {DREZ_OPERAND_PANEL, DREZ_OPERAND_CONTROL, DREZ_OPERAND_PROPERTY},
   DREZ_RESULT_REPLY, DREZ_DEVICE_NONE, DREZ_USE_NONE,
   "read a property of a control: the reply is <property>=<value>"},
  {DREZ_LOOKUP_DEVICE, "SD", 1, 1,
   {DREZ_OPERAND_NAME},
   DREZ_RESULT_REPLY, DREZ_DEVICE_NONE, DREZ_USE_NONE,
   "look a device up by its name: the reply is <number> <offset>"},
  {DREZ_LIST_CONTROLS, "XI", 2, 2,
   {DREZ_OPERAND_PANEL, DREZ_OPERAND_FILTER},
   DREZ_RESULT_REPLY, DREZ_DEVICE_NONE, DREZ_USE_NONE,
   "list the ids of the panel's controls the filter chooses, comma-separated"},
  {DREZ_SET_OUTPUT, "GS", 4, 4,
   {DREZ_OPERAND_DEVICE, DREZ_OPERAND_INDEX, DREZ_OPERAND_STATE, DREZ_OPERAND_FLAG},
   DREZ_RESULT_IGNORED, DREZ_DEVICE_OUTPUTS, DREZ_USE_SET_OUTPUT,
   "switch an output to a state"},
  {DREZ_REGISTER_INFODRIVER, "IR", 3, 4,
   {DREZ_OPERAND_DEVICE, DREZ_OPERAND_FIRST, DREZ_OPERAND_LAST, DREZ_OPERAND_ADD},
   DREZ_RESULT_IGNORED, DREZ_DEVICE_INFODRIVER, DREZ_USE_REGISTER,
   "register for the changes of a range of an infodriver's slots"},
  {DREZ_UNREGISTER_INFODRIVER, "IU", 1, 1,
   {DREZ_OPERAND_DEVICE},
   DREZ_RESULT_IGNORED, DREZ_DEVICE_INFODRIVER, DREZ_USE_UNREGISTER,
   "unregister from an infodriver"},
  {DREZ_POLL_INFODRIVER, "IP", 3, 3,
   {DREZ_OPERAND_DEVICE, DREZ_OPERAND_FIRST, DREZ_OPERAND_LAST},
   DREZ_RESULT_IGNORED, DREZ_DEVICE_INFODRIVER, DREZ_USE_POLL,
   "ask for the current text of a range of an infodriver's slots"},
  {DREZ_REGISTER_ROUTER, "RR", 3, 4,
   {DREZ_OPERAND_DEVICE, DREZ_OPERAND_FIRST, DREZ_OPERAND_LAST, DREZ_OPERAND_ADD},
   DREZ_RESULT_IGNORED, DREZ_DEVICE_ROUTER, DREZ_USE_REGISTER,
   "register for the changes of a range of a router's destinations"},
  {DREZ_UNREGISTER_ROUTER, "RU", 1, 1,
   {DREZ_OPERAND_DEVICE},
   DREZ_RESULT_IGNORED, DREZ_DEVICE_ROUTER, DREZ_USE_UNREGISTER,
   "unregister from a router"},
  {DREZ_POLL_ROUTER, "RP", 3, 3,
   {DREZ_OPERAND_DEVICE, DREZ_OPERAND_FIRST, DREZ_OPERAND_LAST},
   DREZ_RESULT_IGNORED, DREZ_DEVICE_ROUTER, DREZ_USE_POLL,
   "ask for the sources routed to a range of a router's destinations"},
  {DREZ_END_EVENT, "ET", 1, 1,
   {DREZ_OPERAND_EVENT},
   DREZ_RESULT_IGNORED, DREZ_DEVICE_NONE, DREZ_USE_NONE,
   "acknowledge an event id"},
  {DREZ_DETACH, "AS", 0, 0,
   {},
   DREZ_RESULT_IGNORED, DREZ_DEVICE_NONE, DREZ_USE_NONE,
   "detach from the host: the script's last command"},
};
// clang-format on

// True when every row stands at its id: a row left out or out of order
// does not compile.
constexpr bool drez_commands_in_order() {
  for (int i = 0; i < DREZ_COMMAND_COUNT; ++i) {
    if (drez_commands[i].id != i) return false;
  }
  return true;
}
static_assert(drez_commands_in_order(), "each row of drez_commands stands at its id");

// The row of the command `text` begins with, told by its first two
// characters; null when no code begins it. `text` may be null.
inline const drez_command_row* drez_find_command(const char* text) {
  if (text == nullptr || text[0] == '\0') return nullptr;
  for (const drez_command_row& definition : drez_commands) {
    if (definition.code[0] == text[0] && definition.code[1] == text[1]) return &definition;
  }
  return nullptr;
}

// True when the host's result for `text` is a reply the script hands back.
inline bool drez_carries_reply(const char* text) {
  const drez_command_row* definition = drez_find_command(text);
  return definition != nullptr && definition->result == DREZ_RESULT_REPLY;
}

#endif  // DREZ_ABI_DREZ_COMMANDS_H_
