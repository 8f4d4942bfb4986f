// The scenario language: reading it, and running it against the Vantrel panel.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "drez_export.h"
#include "runner/runner.h"
#include "scenario/data_files.h"
#include "scenario/parser.h"
#include "simulator/trace.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace drezhost;

std::vector<Step> parse(const std::string& text) {
  std::istringstream in(text);
  return parseScenario(in, "test.scn");
}

std::string parseError(const std::string& text) {
  try {
    parse(text);
  } catch (const ScenarioError& error) {
    return error.what();
  }
  ADD_FAILURE() << "no error for: " << text;
  return std::string();
}

TEST(ScenarioParser, ReadsWordsQuotesAndOptions) {
  const std::vector<Step> steps = parse(
      "# a comment\n"
      "\n"
      "  set 'RIR Tally Infodriver' 1 \"it's 2\"\n"
      "control StA_Floor value=1 to s2 panel 3\n"
      "device outputs Lamps 9 offset 240 lamps 12\n"
      "create main path 'a b'\n"
      "expect property vls_name text ''\n"
      "statesheet QZ_Studio_TX #c0ffee\n");
  ASSERT_EQ(steps.size(), 6u);
  const auto* set = steps[0].as<steps::Set>();
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(steps[0].line, 3);
  EXPECT_EQ(steps[0].where(), "test.scn:3");
  EXPECT_EQ(set->infodriver, "RIR Tally Infodriver");
  EXPECT_EQ(set->text, "it's 2");
  EXPECT_EQ(set->slot, 1);
  const auto* control = steps[1].as<steps::Control>();
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->script, "s2");
  EXPECT_EQ(control->panel, "3");
  const auto* device = steps[2].as<steps::Device>();
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->kind, DeviceKind::Outputs);
  EXPECT_EQ(device->name, "Lamps");
  EXPECT_THAT((std::vector<int32_t>{device->number, device->offset, device->size, device->lamps}),
              ElementsAre(9, 240, 0, 12));
  const auto* create = steps[3].as<steps::Create>();
  ASSERT_NE(create, nullptr);
  EXPECT_EQ(create->name, "main");
  EXPECT_EQ(create->path, "a b");
  const auto* property = steps[4].as<steps::ExpectProperty>();
  ASSERT_NE(property, nullptr);
  EXPECT_THAT((std::vector<std::string>{property->control, property->property, property->value}),
              ElementsAre("vls_name", "text", ""));
  const auto* statesheet = steps[5].as<steps::Statesheet>();
  ASSERT_NE(statesheet, nullptr);
  EXPECT_THAT((std::vector<std::string>{statesheet->name, statesheet->colour}),
              ElementsAre("QZ_Studio_TX", "#c0ffee"));
}

TEST(ScenarioParser, KeepsTheRestOfTheLineWhereTextIsFree) {
  const std::vector<Step> steps = parse(
      "say The \"studio\" goes on air.\n"
      "expect sent TP 'statesheet=QZ_Studio_TX' '1' 'StA_Floor'\n"
      "expect reply 'a b'\n"
      "expect error still held\n");
  EXPECT_EQ(steps[0].as<steps::Say>()->text, "The \"studio\" goes on air.");
  EXPECT_EQ(steps[1].as<steps::ExpectSent>()->command,
            "TP 'statesheet=QZ_Studio_TX' '1' 'StA_Floor'");
  EXPECT_EQ(steps[2].as<steps::ExpectReply>()->reply, "a b");
  const auto* problem = steps[3].as<steps::ExpectProblem>();
  ASSERT_NE(problem, nullptr);
  EXPECT_EQ(problem->severity, Severity::Error);
  EXPECT_EQ(problem->text, "still held");
}

TEST(ScenarioParser, ReadsBlocks) {
  const std::vector<Step> steps = parse(
      "expect commands\n"
      "  GS 31 100 0 0\n"
      "  # skipped\n"
      "  AS\n"
      "end\n"
      "expect no commands\n"
      "on ET 5\n"
      "  set 'RIR Tally Infodriver' 1 2\n"
      "  route 'RIR SDI Router' 97 3\n"
      "end\n");
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_THAT(steps[0].as<steps::ExpectCommands>()->commands, ElementsAre("GS 31 100 0 0", "AS"));
  ASSERT_NE(steps[1].as<steps::ExpectCommands>(), nullptr);
  EXPECT_TRUE(steps[1].as<steps::ExpectCommands>()->commands.empty());
  const auto* on = steps[2].as<steps::On>();
  ASSERT_NE(on, nullptr);
  EXPECT_EQ(on->command, "ET 5");
  ASSERT_EQ(on->changes.size(), 2u);
  EXPECT_NE(on->changes[1].as<steps::Route>(), nullptr);
  EXPECT_EQ(on->changes[1].line, 9);
}

TEST(ScenarioParser, SaysWhereAndWhatItExpected) {
  EXPECT_EQ(parseError("create\nset 'RIR Tally Infodriver' one 2\n"),
            "test.scn:2: expected a slot number (an integer), found 'one' in: set 'RIR Tally "
            "Infodriver' one 2");
  EXPECT_THAT(parseError("set 'RIR Tally Infodriver' 1\n"),
              HasSubstr("test.scn:1: expected the slot's text"));
  EXPECT_THAT(parseError("jump 3\n"), HasSubstr("test.scn:1: unknown step 'jump' (try: help)"));
  EXPECT_THAT(parseError("route 'RIR SDI Router 97 1\n"), HasSubstr("a quote is not closed"));
  // A colour goes into the page's style: only names and hex digits.
  EXPECT_THAT(parseError("statesheet QZ_Studio_TX red;x:url(y)\n"),
              HasSubstr("test.scn:1: expected a colour (grey, amber, red, green, blue, white, "
                        "#rgb or #rrggbb), found 'red;x:url(y)'"));
  EXPECT_THAT(parseError("event 5 too\n"), HasSubstr("unexpected 'too' at the end of the line"));
  EXPECT_THAT(parseError("host polls sometimes\n"),
              HasSubstr("expected reentrant, queued or off, found 'sometimes'"));
  EXPECT_THAT(parseError("device infodriver T 3 lamps 4\n"),
              HasSubstr("expected 'offset' or 'slots', found 'lamps'"));
  EXPECT_THAT(parseError("expect soon\n"), HasSubstr("after 'expect', found 'soon'"));
  EXPECT_EQ(parseError("\nexpect commands\n  AS\n"), "test.scn:2: this block has no 'end'");
  EXPECT_THAT(parseError("on AS\n  event 1\nend\n"),
              HasSubstr("test.scn:2: an 'on' block holds only set and route steps"));
  EXPECT_THAT(parseError("event 99999999999\n"),
              HasSubstr("found '99999999999', which is outside -2147483648 to 2147483647"));
  EXPECT_THAT(parseError("device router R 3 destinations -4\n"),
              HasSubstr("expected a count of destinations of 1 or more, found -4"));
  EXPECT_THAT(parseError("device outputs L 3 offset -1\n"),
              HasSubstr("expected an offset of 0 or more, found -1"));
  EXPECT_THAT(parseError("device outputs L 3 lamps 0\n"),
              HasSubstr("expected a count of lamps of 1 or more, found 0"));
  // A NUL or an escape in a line is shown, never cuts or colours the message.
  EXPECT_EQ(parseError(std::string("jump\0x\x1b[31m 3\n", 14)),
            "test.scn:1: unknown step 'jump\\x00x\\x1B[31m' (try: help) in: jump\\x00x\\x1B[31m 3");
}

TEST(ScenarioParser, SkipsAByteOrderMarkInFrontOfTheFirstLine) {
  const std::vector<Step> steps = parse(
      "\xEF\xBB\xBF"
      "create\n");
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_NE(steps[0].as<steps::Create>(), nullptr);
  EXPECT_THAT(parseError("create\n\xEF\xBB\xBF"
                         "create\n"),
              HasSubstr("unknown step '\\u{FEFF}create'"));
}

TEST(ShownText, ShowsEveryByteOnOneLineAndCutsLongTexts) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"GS 31 100 0 0", "GS 31 100 0 0"},
      {"ET 1\n    2  forged", "ET 1\\n    2  forged"},
      {"a\tb\rc\\d", "a\\tb\\rc\\\\d"},
      {"\x1b[31mred\x7f", "\\x1B[31mred\\x7F"},
      {std::string("nul\0end", 7), "nul\\x00end"},
      {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},
      {"\xff\xc3(\xed\xa0\x80", "\\xFF\\xC3(\\xED\\xA0\\x80"},
      {"a\xe2\x80\x8b\xe2\x80\xae"
       "b",
       "a\\u{200B}\\u{202E}b"},
      {std::string(kShownTextLimit + 1, 'x'),
       std::string(kShownTextLimit, 'x') + "... (401 bytes)"},
  };
  for (const auto& entry : cases) EXPECT_EQ(shownText(entry.first), entry.second) << entry.second;
  EXPECT_EQ(quoteText("say \"hi\""), "\"say \\\"hi\\\"\"");
}

TEST(ScenarioParser, LeavesNoBlockOpenAfterAnError) {
  ScenarioParser parser("t");
  EXPECT_FALSE(parser.feed("expect commands"));
  EXPECT_TRUE(parser.inBlock());
  EXPECT_TRUE(parser.feed("end"));
  EXPECT_THROW(parser.feed("nonsense"), ScenarioError);
  EXPECT_FALSE(parser.inBlock());
  EXPECT_NO_THROW(parser.finish());
}

}  // namespace
