// The parses of the command texts a script sent before. A script sends the
// same few texts again and again (a lamp's state, a readout's label, an
// event's acknowledgement), and a text parsed before is found here instead
// of being read again: a lookup by the text's hash and one comparison,
// against a parse of every operand.
//
// Direct-mapped: each text has one slot, which holds the last text of that
// hash that parsed. Only texts that parse are kept; one that does not is
// parsed (and its error written) every time.
//
// Not synchronised: used on the host's one thread, one cache per nesting
// level of commands, so that a command's parse stays put while commands
// nested in it are parsed.

#ifndef DREZ_HOST_SIMULATOR_COMMAND_CACHE_H_
#define DREZ_HOST_SIMULATOR_COMMAND_CACHE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/command_parser.h"

namespace drezhost {

class CommandCache {
 public:
  // How many texts a cache keeps at most: a panel's hundred or so texts
  // seldom share a slot.
  static constexpr std::size_t kSlots = 1024;

  // The parse of `text`, found or made now. Null, with `*error` set (`error`
  // may be null), for a text that does not parse. Owned by the cache, and
  // valid until the next call of parse().
  const HostCommand* parse(std::string_view text, std::string* error);

 private:
  struct Slot {
    bool parsed = false;  // `text` parsed into `command`
    std::string text;
    HostCommand command;
  };
  std::vector<Slot> slots_;  // kSlots of them from the first parse on
};

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_COMMAND_CACHE_H_
