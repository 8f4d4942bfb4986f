#include "simulator/command_cache.h"

#include "simulator/text_hash.h"

namespace drezhost {

const HostCommand* CommandCache::parse(std::string_view text, std::string* error) {
  static_assert(kSlots == std::size_t{1} << 10, "a slot of 10 bits of the hash");
  if (slots_.empty()) slots_.resize(kSlots);
  Slot& slot = slots_[textSlot<10>(text)];
  if (slot.parsed && slot.text == text) return &slot.command;
  slot.parsed = parseHostCommand(text, slot.command, error);
  if (!slot.parsed) return nullptr;
  slot.text.assign(text);
  return &slot.command;
}

}  // namespace drezhost
