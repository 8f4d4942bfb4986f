// Writing the scenario language: every text the writer writes reads back as
// itself, every step it writes parses back to the same step, and the step
// table is the language the manual describes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "scenario/parser.h"
#include "scenario/step_table.h"
#include "scenario/words.h"
#include "scenario/writer.h"

namespace {

using ::testing::HasSubstr;
using namespace drezhost;

const std::vector<std::string>& oddTexts() {
  static const std::vector<std::string> texts = {
      "",
      "plain",
      "two words",
      " leading and trailing ",
      "\ttab",
      "it's",
      "'quoted'",
      "\"double\"",
      "it's a \"test\"",
      "'a' 'b'",
      "ends with a quote'",
      "' starts with quote and blank",
      "path",
      "panel",
      "to",
      "#not a comment",
      "\xff\xfe bytes that are not UTF-8 \x80",
      std::string("\xef\xbb\xbf") + "bom",
      "a\\b",
      std::string(5000, 'x') + " " + std::string(5000, '\''),
  };
  return texts;
}

Step parseOne(const std::string& text) {
  std::istringstream in(text);
  std::vector<Step> steps = parseScenario(in, "written.scn");
  EXPECT_EQ(steps.size(), 1u) << text;
  return steps.empty() ? Step() : steps[0];
}

TEST(Writer, EveryWordReadsBackAsItsText) {
  for (const std::string& text : oddTexts()) {
    const std::optional<std::string> word = wordFor(text);
    ASSERT_TRUE(word.has_value()) << text;
    const std::string line = "x " + *word + " y";
    WordReader words(line);
    EXPECT_EQ(words.text("x"), "x");
    EXPECT_EQ(words.text("a word"), text) << *word;
    EXPECT_EQ(words.text("y"), "y") << *word;
    EXPECT_TRUE(words.done());
  }
}

TEST(Writer, RefusesWhatNoLineCanHold) {
  for (const std::string& text : {std::string("line\nbreak"), std::string("cr\r"),
                                  std::string("nul\0x", 5), std::string("both' quote\" kinds")}) {
    EXPECT_EQ(wordFor(text), std::nullopt) << text;
    EXPECT_EQ(writeStep(steps::Set{{}, "RIR Tally Infodriver", 1, text}), std::nullopt);
  }
  EXPECT_EQ(restFor(" padded ", false), std::nullopt);  // "expect sent" reads it trimmed
  EXPECT_EQ(restFor("", false), std::nullopt);
  EXPECT_EQ(writeStep(steps::ExpectCommands{{}, {"end"}}), std::nullopt);
  EXPECT_EQ(writeStep(steps::ExpectCommands{{}, {"# a comment"}}), std::nullopt);
}

TEST(Writer, StepsWithOddTextsParseBackToThemselves) {
  for (const std::string& text : oddTexts()) {
    steps::Create create;
    create.name = text.empty() ? "s" : text;
    create.path = text;
    steps::Control control{{}, text.empty() ? "c" : text, text, text.empty() ? "1" : text, text};
    const std::vector<StepBody> bodies = {
        steps::Set{{}, text.empty() ? "x" : text, -5, text},
        create,
        control,
        steps::Request{{}, text, ""},
        steps::Say{text},
        steps::ExpectReply{{}, text},
        steps::ExpectProblem{{}, Severity::Warning, text},
        steps::PanelFile{text.empty() ? "f" : text, {text, text}},
    };
    for (const StepBody& body : bodies) {
      const std::optional<std::string> line = writeStep(body);
      if (!line) {
        // Only a rest of the line cannot hold both quote kinds.
        EXPECT_TRUE(text.find('\'') != std::string::npos && text.find('"') != std::string::npos)
            << text;
        continue;
      }
      const Step step = parseOne(*line);
      EXPECT_EQ(step.body.index(), body.index()) << *line;
      EXPECT_EQ(writeStep(step.body), line) << *line;
    }
  }
}

TEST(Writer, WritesEveryFormOfTheLanguage) {
  const char* const scenario[] = {
      "installation empty",
      "installation studio-a",
      "device infodriver 'A B' 11 offset 2 slots 8",
      "device router R 21 destinations 64",
      "device outputs Lamps 31 offset 100 lamps 12",
      "source R 3 'CAM 3'",
      "panelfile p1.drez_ui a b c",
      "remove device R",
      "remove panelfile p1.drez_ui",
      "remove control p1.drez_ui a",
      "property a text 'x y' panel 2",
      "host polls queued",
      "host lookups off",
      "statesheet QZ_Studio_TX #c0ffee",
      "create main path 'a b'",
      "delete main",
      "use main",
      "set 'A B' 1 ''",
      "route R 97 3 'CAM 3'",
      "request return=all to main",
      "event 7 to main",
      "control a value=1 panel 2 to main",
      "notify 7 -1",
      "on GS 31 100 1 0\n  set 'A B' 1 0\n  route R 1 2\nend",
      "show",
      "say the studio goes on air",
      "help",
      "expect commands\n  GS 31 100 1 0\n  AS\nend",
      "expect no commands",
      "expect sent TP 'text=x' '1' 'a'",
      "expect reply myParam=abc",
      "expect no reply",
      "expect output Lamps 100 1",
      "expect lamps Lamps 1 0 1",
      "expect property a text x panel 2",
      "expect trace golden.trace",
      "expect error still held",
      "expect warning no device",
  };
  std::set<std::string> phrases;
  for (const char* text : scenario) {
    const Step step = parseOne(text);
    EXPECT_EQ(writeStep(step.body), std::optional<std::string>(text));
    for (const StepForm& form : stepForms()) {
      if (std::string(text).rfind(form.phrase, 0) == 0) phrases.insert(form.phrase);
    }
  }
  EXPECT_EQ(phrases.size(), stepForms().size()) << "a form of the table is not written above";
}

TEST(StepTable, HasAFormForEveryKindOfStepAndNoPhraseBeginsAnother) {
  std::set<std::size_t> kinds;
  for (const StepForm& form : stepForms()) {
    kinds.insert(form.index);
    for (const StepForm& other : stepForms()) {
      if (&form == &other) continue;
      EXPECT_NE(std::string(other.phrase).rfind(std::string(form.phrase) + " ", 0), 0u)
          << form.phrase << " begins " << other.phrase;
    }
  }
  EXPECT_EQ(kinds.size(), std::variant_size_v<StepBody>);
}

TEST(StepTable, TheHelpAndTheManualNameEveryForm) {
  std::ifstream file(DREZ_TEST_MANUAL, std::ios::binary);
  ASSERT_TRUE(file) << DREZ_TEST_MANUAL;
  std::ostringstream manual;
  manual << file.rdbuf();
  const std::string help = scenarioHelp();
  for (const StepForm& form : stepForms()) {
    EXPECT_THAT(manual.str(), HasSubstr(std::string("`") + form.phrase)) << "the manual";
    EXPECT_THAT(help, HasSubstr(std::string("  ") + form.phrase)) << "the help";
  }
}

}  // namespace
