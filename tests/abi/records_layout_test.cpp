// The record layouts are a binary contract with hosts: checked here at run
// time for the target's pointer size (where pointers are 4 bytes the header
// also asserts them at compile time).

#include <gtest/gtest.h>

#include <cstddef>

#include "drez_records.h"

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

}  // namespace
