// A capture sink in memory, for the tests of the writer and of the tap's
// recorder: it makes room in steps as a capture file does, may refuse from
// a chosen extend on (a full disk), and trims as a file is trimmed. The
// room made and not yet written holds NUL bytes, as a file's does.

#ifndef TESTS_CAPTURE_MEMORY_SINK_H_
#define TESTS_CAPTURE_MEMORY_SINK_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "capture_writer.h"

namespace drezcapture {

class MemorySink final : public CaptureSink {
 public:
  // Room is made `step` bytes at a time (0: exactly what is asked).
  explicit MemorySink(std::size_t step = 4096) : step_(step) {}

  bool extend(uint64_t offset, std::size_t size, uint64_t limit, Window* window) override {
    ++extends;
    if ((fail_from != 0 && extends >= fail_from) || offset + size > limit) return false;
    const uint64_t wanted = std::min<uint64_t>(offset + std::max(size, step_), limit);
    if (room.size() < wanted) room.resize(static_cast<std::size_t>(wanted), '\0');
    window->data = &room[static_cast<std::size_t>(offset)];
    window->offset = offset;
    window->size = room.size() - static_cast<std::size_t>(offset);
    return true;
  }
  bool trim(uint64_t size) override {
    room.resize(static_cast<std::size_t>(size));
    trimmed = true;
    return true;
  }
  const char* lastError() const override { return "refused"; }

  std::string room;  // what was written, then NUL bytes to the end of the room made
  std::size_t extends = 0;
  std::size_t fail_from = 0;  // 0: never
  bool trimmed = false;

 private:
  std::size_t step_;
};

}  // namespace drezcapture

#endif  // TESTS_CAPTURE_MEMORY_SINK_H_
