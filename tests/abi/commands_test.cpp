// The command vocabulary as a host reads it: each row well-formed, each
// command told by its first two characters, and the replies those carry.

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "drez_commands.h"

namespace {

TEST(Commands, EveryRowIsWellFormed) {
  std::set<std::string> codes;
  for (const drez_command_row& definition : drez_commands) {
    const std::string code = definition.code;
    SCOPED_TRACE(code);
    ASSERT_EQ(code.size(), 2u);
    EXPECT_TRUE(std::isupper(static_cast<unsigned char>(code[0])) &&
                std::isupper(static_cast<unsigned char>(code[1])));
    EXPECT_TRUE(codes.insert(code).second) << "a code used twice";
    EXPECT_LE(definition.required, definition.count);
    ASSERT_LE(definition.count, DREZ_MAX_OPERANDS);
    bool namesDevice = false;
    for (int i = 0; i < DREZ_MAX_OPERANDS; ++i) {
      EXPECT_EQ(definition.operands[i] == DREZ_OPERAND_NONE, i >= definition.count)
          << "operand " << i;
      namesDevice = namesDevice || definition.operands[i] == DREZ_OPERAND_DEVICE;
    }
    EXPECT_EQ(namesDevice, definition.device != DREZ_DEVICE_NONE);
    EXPECT_EQ(definition.device != DREZ_DEVICE_NONE, definition.use != DREZ_USE_NONE);
    EXPECT_NE(std::string(definition.summary), "");
  }
}

TEST(Commands, AreToldByTheirFirstTwoCharacters) {
  const struct {
    const char* text;
    const char* code;  // null: none
    bool reply;
  } cases[] = {
      {"SD 'x'", "SD", true},
      {"XI '1' ''", "XI", true},
      {"TG '1' 'a' 'b'", "TG", true},
      {"SD", "SD", true},
      {"SDX 'x'", "SD", true},  // a host tells them by two characters
      {"PS '1' 'p1.drez_ui'", "PS", false},
      {"TP 'a=b' '1' 'c'", "TP", false},
      {"GS 1 2 3 0", "GS", false},
      {"AS", "AS", false},
      {"", nullptr, false},
      {"S", nullptr, false},
      {"sd 'x'", nullptr, false},
      {"ZZ 1", nullptr, false},
      {nullptr, nullptr, false},
  };
  for (const auto& c : cases) {
    const char* shown = c.text != nullptr ? c.text : "(null)";
    const drez_command_row* definition = drez_find_command(c.text);
    if (c.code == nullptr) {
      EXPECT_EQ(definition, nullptr) << shown;
    } else {
      ASSERT_NE(definition, nullptr) << shown;
      EXPECT_STREQ(definition->code, c.code) << shown;
    }
    EXPECT_EQ(drez_carries_reply(c.text), c.reply) << shown;
  }
}

}  // namespace
