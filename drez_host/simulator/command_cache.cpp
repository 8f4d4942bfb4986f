#include "simulator/command_cache.h"

#include <functional>

namespace drezhost {

const HostCommand* CommandCache::parse(std::string_view text, std::string* error) {
  if (slots_.empty()) slots_.resize(kSlots);
  Slot& slot = slots_[std::hash<std::string_view>()(text) % kSlots];
  if (slot.parsed && slot.text == text) return &slot.command;
  slot.parsed = parseHostCommand(text, slot.command, error);
  if (!slot.parsed) return nullptr;
  slot.text.assign(text);
  return &slot.command;
}

}  // namespace drezhost
