// The simulated host's reading of command texts.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "simulator/command_cache.h"
#include "simulator/command_parser.h"

namespace {

using drezhost::HostCommand;
using drezhost::parseHostCommand;

std::string errorOf(const std::string& text) {
  std::string error;
  EXPECT_FALSE(parseHostCommand(text, &error).has_value()) << text;
  return error;
}

TEST(CommandParser, ReadsTextAndIntegerOperands) {
  std::string error;
  auto command = parseHostCommand("TP 'statesheet=QZ_Studio_TX' '1' 'StA_Floor'", &error);
  ASSERT_TRUE(command) << error;
  EXPECT_STREQ(command->code(), "TP");
  EXPECT_EQ(command->id(), DREZ_SET_PROPERTY);
  EXPECT_EQ(command->textOf(DREZ_OPERAND_CONTROL), "StA_Floor");
  ASSERT_EQ(command->operands.size(), 3u);
  EXPECT_EQ(command->text(0), "statesheet=QZ_Studio_TX");
  EXPECT_EQ(command->text(2), "StA_Floor");

  command = parseHostCommand("GS 31 -105 255 1", &error);
  ASSERT_TRUE(command) << error;
  EXPECT_EQ(command->number(0), 31);
  EXPECT_EQ(command->number(1), -105);
  EXPECT_EQ(command->number(2), 255);
}

TEST(CommandParser, AcceptsTheWholeVocabulary) {
  for (const char* text :
       {"PS '1' 'p1.drez_ui'", "PS '1' 'dir/p1.drez_ui' 'extra'", "TG '1' 'alm_7' 'value'",
        "SD 'Studio A Blue Lights'", "XI '1' 'alm_'", "IR 7 1 6", "IR 7 1 6 'ADD'", "IU 7",
        "IP 7 1 6", "RR 7 97 97 'ADD'", "RU 7", "RP 7 97 97", "ET 5", "AS", "SD ''"}) {
    std::string error;
    EXPECT_TRUE(parseHostCommand(text, &error)) << text << ": " << error;
  }
}

TEST(CommandParser, KeepsAQuoteInsideATextOperand) {
  auto command = parseHostCommand("TP 'text=it's' '1' 'vls_name'", nullptr);
  ASSERT_TRUE(command);
  EXPECT_EQ(command->text(0), "text=it's");
  command = parseHostCommand("SD 'a 'b''", nullptr);
  ASSERT_TRUE(command);
  EXPECT_EQ(command->text(0), "a 'b'");
}

// One command parsed into another's room keeps nothing of the earlier one,
// whatever became of it.
TEST(CommandParser, ParsesIntoAReusedCommand) {
  struct Case {
    const char* text;
    bool parses;
    std::size_t operands;
    const char* firstText;
  };
  const Case cases[] = {
      {"TP 'text=a long text that is not short' '1' 'vls_name'", true, 3,
       "text=a long text that is not short"},
      {"GS 31 -105 255 1", true, 4, ""},
      {"SD 'unclosed", false, 0, ""},
      {"SD 'x'", true, 1, "x"},
      {"AS", true, 0, ""},
      {"IR 7 1 6 'ADD'", true, 4, ""},
  };
  HostCommand command;
  for (const Case& c : cases) {
    std::string error;
    ASSERT_EQ(parseHostCommand(c.text, command, &error), c.parses) << c.text << ": " << error;
    if (!c.parses) continue;
    ASSERT_EQ(command.operands.size(), c.operands) << c.text;
    if (c.operands != 0) {
      EXPECT_EQ(command.text(0), c.firstText) << c.text;
    }
    EXPECT_THROW(command.text(c.operands), std::out_of_range) << c.text;
  }
}

// What the operands of a parsed command hold, to compare two parses.
std::string operandsOf(const HostCommand& command) {
  std::string shown = command.code();
  for (const drezhost::Operand& operand : command.operands) {
    shown += operand.isText ? " '" + operand.text + "'" : " " + std::to_string(operand.number);
  }
  return shown;
}

// A text found in the cache reads as it does parsed afresh: texts that differ
// only late, texts that share a slot (more texts than slots, each read twice
// in turn), texts that do not parse (refused every time, with their error),
// and bytes that are not UTF-8.
TEST(CommandCache, FindsEachTextAsItParses) {
  std::vector<std::string> texts = {"ET 1",
                                    "ET 10",
                                    "ET 1",
                                    "GS 31 100 1 0",
                                    "GS 31 100 1 1",
                                    "TP 'text=CAM 1' '1' 'vls_name'",
                                    "TP 'text=CAM 1' '1' 'vls_id'",
                                    "SD 'unclosed",
                                    "SD 'unclosed",
                                    "ET x",
                                    std::string("SD '\xff\0\x80'", 8),
                                    "AS",
                                    "ET 1"};
  for (std::size_t i = 0; i < 3 * drezhost::CommandCache::kSlots; ++i) {
    texts.push_back("ET " + std::to_string(i));
    texts.push_back("TP 'text=" + std::to_string(i % 7) + "' '1' 'vls_name'");
  }
  drezhost::CommandCache cache;
  for (int round = 0; round < 2; ++round) {
    for (const std::string& text : texts) {
      std::string fresh;
      const std::optional<HostCommand> expected = parseHostCommand(text, &fresh);
      std::string error;
      const HostCommand* found = cache.parse(text, &error);
      ASSERT_EQ(found != nullptr, expected.has_value()) << text;
      if (found == nullptr) {
        EXPECT_EQ(error, fresh) << text;
        continue;
      }
      EXPECT_EQ(found->definition, expected->definition) << text;
      EXPECT_EQ(operandsOf(*found), operandsOf(*expected)) << text;
      // Asked again at once, the same parse is found.
      EXPECT_EQ(cache.parse(text, nullptr), found) << text;
    }
  }
}

TEST(CommandParser, RejectsCodesOutsideTheVocabulary) {
  EXPECT_EQ(errorOf("ZZ 1"), "unknown command code 'ZZ'");
  EXPECT_EQ(errorOf("ASX"), "unknown command code 'ASX'");
  EXPECT_EQ(errorOf("gs 1 2 3 0"), "unknown command code 'gs'");
  EXPECT_EQ(errorOf(""), "unknown command code ''");
}

TEST(CommandParser, RejectsSpacingThatIsNotOneSpace) {
  EXPECT_EQ(errorOf("GS 1  2 3 0"), "operands must be separated by exactly one space");
  EXPECT_EQ(errorOf("ET 5 "), "operands must be separated by exactly one space");
}

TEST(CommandParser, RejectsOperandsOfTheWrongShape) {
  EXPECT_EQ(errorOf("GS 31 x 1 0"), "'x' is neither an integer nor a quoted text");
  EXPECT_EQ(errorOf("ET 99999999999"), "'99999999999' is outside the 32-bit integer range");
  EXPECT_EQ(errorOf("SD 'unclosed"), "a text operand has no closing quote");
  EXPECT_EQ(errorOf("SD 12"), "operand 1 of SD must be a quoted text");
  EXPECT_EQ(errorOf("IU 'x'"), "operand 1 of IU must be an integer");
  EXPECT_EQ(errorOf("IR 1 2"), "IR takes 3 or 4 operands, not 2");
  // Past the most any row has, operands are still counted.
  EXPECT_EQ(errorOf("GS 1 2 3 0 5 6"), "GS takes 4 operands, not 6");
  EXPECT_EQ(errorOf("GS 1 2 3 0 5 x"), "'x' is neither an integer nor a quoted text");
  EXPECT_EQ(errorOf("AS 1"), "AS takes no operands");
  EXPECT_EQ(errorOf("AS extra"), "AS takes no operands");
}

TEST(CommandParser, ChecksTheValuesSomeCommandsNeed) {
  EXPECT_EQ(errorOf("TP 'statesheet' '1' 'x'"),
            "the first operand of TP is not '<property>=<value>'");
  EXPECT_EQ(errorOf("GS 1 2 256 0"), "the state of GS is outside 0 to 255");
  EXPECT_EQ(errorOf("GS 1 2 1 2"), "the flag of GS is neither 0 nor 1");
  EXPECT_EQ(errorOf("RR 1 2 3 'add'"), "the fourth operand of RR is not 'ADD'");
}

}  // namespace
