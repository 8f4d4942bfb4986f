#include "simulator/command_cache.h"

#include <cstdint>
#include <cstring>

namespace drezhost {

namespace {

// The slot of `text`: each 8 bytes are mixed in by a multiplication, the
// result mixed once more, and the top bits chosen, which every byte
// reaches. Inline, this costs a quarter of std::hash's call for a command's
// 20 or 30 bytes; a poor spread would only cost parses, as a slot is used
// after its text is compared.
std::size_t slotOf(std::string_view text) {
  static_assert(CommandCache::kSlots == 1024, "the slot is the hash's top 10 bits");
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
  std::uint64_t hash = text.size() * kMultiplier;
  std::size_t at = 0;
  for (; at + 8 <= text.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    hash = (hash ^ word) * kMultiplier;
    hash ^= hash >> 32;
  }
  if (at < text.size()) {
    // Byte by byte: a memcpy of a varying length is a library call.
    std::uint64_t word = 0;
    for (; at < text.size(); ++at) word = word << 8 | static_cast<unsigned char>(text[at]);
    hash = (hash ^ word) * kMultiplier;
  }
  hash ^= hash >> 29;
  hash *= 0xBF58476D1CE4E5B9ULL;
  return static_cast<std::size_t>(hash >> 54);
}

}  // namespace

const HostCommand* CommandCache::parse(std::string_view text, std::string* error) {
  if (slots_.empty()) slots_.resize(kSlots);
  Slot& slot = slots_[slotOf(text)];
  if (slot.parsed && slot.text == text) return &slot.command;
  slot.parsed = parseHostCommand(text, slot.command, error);
  if (!slot.parsed) return nullptr;
  slot.text.assign(text);
  return &slot.command;
}

}  // namespace drezhost
