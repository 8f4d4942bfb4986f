// The binary contract with hosts built by any compiler: the record layouts,
// checked at run time for the target's pointer size (where pointers are 4
// bytes the header also asserts them at compile time), and the script's
// virtual table, called by slot number as such a host calls it.

#include <gtest/gtest.h>

#include <cstddef>
#include <new>

#include "drez_client_callback.h"
#include "drez_records.h"
#include "probe_script.h"
#include "recording_host.h"

namespace {

constexpr std::size_t P = sizeof(void*);

TEST(RecordLayout, DeviceUpdate) {
  EXPECT_EQ(offsetof(DeviceUpdate, device), 0u);
  EXPECT_EQ(offsetof(DeviceUpdate, index), 8u);
  EXPECT_EQ(offsetof(DeviceUpdate, number), 12u);
  EXPECT_EQ(offsetof(DeviceUpdate, text), 16u);
}

TEST(RecordLayout, ControlEventAndParsedCommandFollowThePointerSize) {
  EXPECT_EQ(offsetof(ControlEvent, controlId), P == 4 ? 12u : 16u);
  EXPECT_EQ(offsetof(ControlEvent, parsed), offsetof(ControlEvent, controlId) + P);
  EXPECT_EQ(offsetof(ParsedCommand, name), 0u);
  EXPECT_EQ(offsetof(ParsedCommand, parts), P);
  EXPECT_EQ(offsetof(ParsedCommand, value), P + 32 * P);
  EXPECT_EQ(offsetof(ParsedCommand, partCount), 34 * P);
  EXPECT_EQ(offsetof(ParsedCommand, hasValue), 34 * P + 4);
  EXPECT_EQ(offsetof(ParsedCommand, buffer), 34 * P + 8);  // 144 with 4-byte pointers
  EXPECT_EQ(sizeof(ParsedCommand), 35 * P + 8);            // 148 with 4-byte pointers
}

// The slots as a host built by another compiler sees them: plain functions
// that take the object first (in ECX on 32-bit Windows; g++ calls thiscall on
// a plain function an extension).
__extension__ using Slot0 = void*(DREZ_THISCALL*)(void* self, unsigned int flags);
__extension__ using Slot1 = const char*(DREZ_THISCALL*)(void* self, void* data, int kind);

void* const* slotsOf(drez_client_callback* script) {
  return *reinterpret_cast<void* const* const*>(script);
}

// A probe that counts the frees of its memory.
class CountedScript : public ProbeScript {
 public:
  using ProbeScript::ProbeScript;
  static void* operator new(std::size_t size) { return ::operator new(size); }
  static void operator delete(void* block) {
    ++frees;
    ::operator delete(block);
  }
  static int frees;
};
int CountedScript::frees = 0;

TEST(ScriptVirtualTable, SlotOneIsCallbackSlotZeroDestroysAndFreesWithFlagOne) {
  for (unsigned int flags : {1u, 0u}) {
    drezhost::RecordingHost host;
    auto* probe = new CountedScript(&host, "");
    drez_client_callback* script = probe;
    CountedScript::frees = 0;

    const auto callback = reinterpret_cast<Slot1>(slotsOf(script)[1]);
    EXPECT_EQ(callback(script, reinterpret_cast<void*>(5), CB_EVENT_ID), nullptr);
    EXPECT_EQ(probe->calls, std::vector<std::string>{"event 5"});

    const auto destroy = reinterpret_cast<Slot0>(slotsOf(script)[0]);
    const auto address = reinterpret_cast<uintptr_t>(script);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(destroy(script, flags)), address);
    EXPECT_EQ(host.commands(), std::vector<std::string>{"AS"}) << "flags " << flags;
    EXPECT_EQ(CountedScript::frees, flags == 1u ? 1 : 0) << "flags " << flags;
    if (flags == 0u) CountedScript::operator delete(probe);  // destroyed, not freed
  }
}

}  // namespace
