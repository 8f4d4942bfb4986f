// The panel fuzzer's input: bytes decoded into what a scenario does to one
// freshly created script (the host's poll mode, the export's path, then
// moves: slot and route changes, property requests, event ids, control
// events, notifies, and changes made from inside a command the script
// sends), and a scenario encoded back into bytes. The decoder and the
// encoder are one pair: decodeInput(encodeInput(p)) gives p again for every
// program the fuzzer can make.
//
// The bytes, read with ByteReader (past the end it reads zeros, so every
// input decodes, and an input cut short is a prefix of the same moves):
//
//   header    flags byte: bit 0 polls queued; bit 1 a path text follows
//             (pathText)
//   moves     until the input ends, a byte picks the move (modulo the
//             moves), then its operands:
//     set      infodriver (a pick), slot (two bytes, 1 + value modulo its
//              slots), text
//     route    router (a pick), destination (as a slot), source (int32),
//              name (a byte: odd, a text follows; even, the source's own)
//     request  text
//     event    a byte: even, the id is the next byte; odd, an int32
//     control  panel (a pick among those loaded at start-up), control (a
//              byte: even, a pick among its controls; odd, a text, of which
//              the characters of an id are kept: controlId), command (text;
//              for AckAll and ActionAll, buttonCommand)
//     notify   a byte: even kind 6, odd 7; then the value (int32)
//     on       command (a byte: even, a pick among the commands the script
//              sent lately; odd, a text), then a byte (even set, odd
//              route) and that change's operands
//   a pick    one byte, modulo the choices
//   text      a byte picks the form: 0 an entry of the field's table (a
//             pick); 1 a short text (a length byte, then the bytes); 2 a
//             long one (two length bytes, low first, then the bytes); 3 an
//             entry of the table (a pick) followed by one character (a
//             byte) repeated (two bytes, modulo 8192, times): texts of any
//             length without their bytes.
//
// How many bytes each operand takes never depends on the tables, so the
// moves of an input can be cut out of it without knowing the panel
// (moveSpans). A text is made fit for a scenario line as it is read: it
// ends at a NUL, a line break becomes a space, and where neither quote can
// hold it its double quotes become single ones.
//
// Threading: plain functions and values.

#ifndef FUZZ_PANEL_FUZZ_INPUT_H_
#define FUZZ_PANEL_FUZZ_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "scenario/steps.h"
#include "simulator/installation.h"
#include "simulator/simulated_host.h"

namespace drezfuzz {

// What a move picks from: the studio and the script, as the fuzzer found
// them before the first input (fuzz_setup.h).
struct FuzzTables {
  struct Device {
    std::string name;
    int32_t size = 0;  // slots or destinations
  };
  struct Panel {
    std::string id;    // the panel the script loaded at start-up
    std::string file;  // the panel file it loaded there
    std::vector<std::string> controls;
  };
  std::vector<Device> infodrivers;
  std::vector<Device> routers;
  std::vector<Panel> panels;
  std::vector<std::string> slotTexts;     // set, and a route's source name
  std::vector<std::string> requests;      // request
  std::vector<std::string> commands;      // control: the event's command
  std::vector<std::string> triggerTexts;  // on: a command text
};

// The tables every panel gets, before what its studio and start-up add.
FuzzTables baseTables();

// One thing the fuzzer does to the script, as a scenario step: a Set,
// Route, Request, Event, Control, Notify or On (whose one change is a Set or
// a Route). An On made from a pick among the commands the script sent
// lately carries the pick in `recentCommand` and an empty command text: the
// run fills it in.
struct Move {
  drezhost::StepBody step;
  std::optional<uint8_t> recentCommand;
};

// A whole input: how the host answers polls, the export's path, the moves.
// The script is created first and deleted last.
struct Program {
  drezhost::PollDelivery polls = drezhost::PollDelivery::Reentrant;
  std::string path;
  std::vector<Move> moves;
};

Program decodeInput(const uint8_t* data, std::size_t size, const FuzzTables& tables);

// Where the header ends and each move lies in `data`: [begin, end) byte
// ranges, the header first. Cutting moves out leaves an input whose other
// moves decode as before.
std::vector<std::pair<std::size_t, std::size_t>> moveSpans(const uint8_t* data, std::size_t size);

// The bytes that decode to `program`. A move the input cannot say in these
// tables (a device, panel or slot the tables lack, an "on" still waiting
// for its command) is left out, and a text is cut at 65,535 bytes.
std::string encodeInput(const Program& program, const FuzzTables& tables);

// The program of a scenario's steps for encodeInput: "host polls", the path
// of the first "create", and the actions after it up to the first "delete",
// "create" or "installation". Installation steps, expectations and
// everything else are passed over.
Program programOf(const std::vector<drezhost::Step>& scenario);

// `text` made fit for a scenario line, as the decoder makes every text.
std::string writableText(std::string text);

// A control id made up from `text`: its letters, digits, '_', '-' and '.',
// what a panel file's ids are made of.
std::string controlId(const std::string& text);

// The command of the framework's alarm buttons, AckAll and ActionAll, made
// up from `text`: "<name>=<value>" (or "<name>") of id characters. Their
// commands are the panel file's, like the ids, not an operator's text.
std::string buttonCommand(const std::string& text);

// An export path made up from `text`: no single quotes. The host hands a
// script a folder of its own, which the script puts in its "PS" between
// quotes.
std::string pathText(const std::string& text);

}  // namespace drezfuzz

#endif  // FUZZ_PANEL_FUZZ_INPUT_H_
