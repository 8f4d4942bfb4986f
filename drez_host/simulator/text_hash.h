// A hash of a short text for the direct-mapped caches of texts read again
// and again (simulator/command_cache.h: the commands a script sends;
// scenario/parser.h: the lines of a scenario). Each 8 bytes are mixed in by
// a multiplication and the result mixed once more, so that the top bits,
// which a cache takes, depend on every byte. Inline: std::hash's library
// call cost more than the rest of a lookup. A poor spread would only cost
// work, as each cache compares the text before it uses what it kept.

#ifndef DREZ_HOST_SIMULATOR_TEXT_HASH_H_
#define DREZ_HOST_SIMULATOR_TEXT_HASH_H_

#include <cstdint>
#include <cstring>
#include <string_view>

namespace drezhost {

inline std::uint64_t textHash(std::string_view text) {
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
  return hash * 0xBF58476D1CE4E5B9ULL;
}

// The slot of `text` among 2^bits.
template <unsigned bits>
std::size_t textSlot(std::string_view text) {
  static_assert(bits > 0 && bits < 64, "a slot is some of the hash's bits");
  return static_cast<std::size_t>(textHash(text) >> (64 - bits));
}

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_TEXT_HASH_H_
