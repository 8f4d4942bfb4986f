// Writing the scenario language: every text the writer writes reads back as
// itself, every step it writes parses back to the same step, and the step
// table is the language the manual describes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
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
  EXPECT_EQ(writeStep(steps::ExpectCommands{{}, {"end"}, ""}), std::nullopt);
  EXPECT_EQ(writeStep(steps::ExpectCommands{{}, {"# a comment"}, ""}), std::nullopt);
  // A reply's lines are read trimmed, and blank ones and comments skipped.
  for (const char* reply : {"a\n", "a\n\nb", "a\n  b", "a\n# b", "a\nend", "\na"}) {
    EXPECT_EQ(writeStep(steps::ExpectReply{{}, std::string(reply)}), std::nullopt) << reply;
  }
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
        steps::ExpectReply{{}, "x=1\n" + (text.empty() ? "y" : text)},
        steps::ExpectProblem{{}, Severity::Warning, text},
        steps::PanelFile{text.empty() ? "f" : text, {text, text}},
    };
    for (const StepBody& body : bodies) {
      const std::optional<std::string> line = writeStep(body);
      if (!line) {
        // Only a rest of the line cannot hold both quote kinds, nor a block
        // line that a blank begins or ends, a comment or "end".
        const bool blockLine = trimmed(text) != text || text[0] == '#';
        EXPECT_TRUE(blockLine ||
                    (text.find('\'') != std::string::npos && text.find('"') != std::string::npos))
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
      "include '../common/newsroom studio.scn'",
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
      "expect commands from s2\n  ET 5\nend",
      "expect no commands",
      "expect no commands from 'a b'",
      "expect sent TP 'text=x' '1' 'a'",
      "expect reply myParam=abc",
      "expect reply\n  desk=CAM 1\n  wall='Weather'\nend",
      "expect reply ''",
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
  // Read one after the other into one step, whose room serves them all (as
  // a run reads a scenario): each reads as it does alone, with nothing of
  // the one before it, of the same form ("installation empty", then
  // "installation studio-a") or another.
  ScenarioParser parser("written.scn");
  Step reused;
  for (const char* text : scenario) {
    std::istringstream lines(text);
    std::string line;
    bool complete = false;
    while (std::getline(lines, line)) complete = parser.feed(line, reused);
    ASSERT_TRUE(complete) << text;
    EXPECT_EQ(writeStep(reused.body), std::optional<std::string>(text));
    EXPECT_EQ(reused.file, "written.scn");
    EXPECT_EQ(reused.source, std::string(text).substr(0, std::string(text).find('\n')));
  }
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

// The steps the manual's tables of the language show, as written there: the
// first cell of each row of its three tables, each text between backticks.
std::vector<std::string> manualSteps(const std::string& manual) {
  std::vector<std::string> steps;
  const std::size_t language = manual.find("\n## The scenario language");
  const std::size_t end = manual.find("\n### Examples", language);
  std::istringstream lines(manual.substr(language, end - language));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("| `", 0) != 0) continue;
    std::string cell;  // up to the first bar that no backslash escapes
    for (std::size_t i = 1; i < line.size() && !(line[i] == '|' && line[i - 1] != '\\'); ++i) {
      cell += line[i];
    }
    for (std::size_t open = cell.find('`'); open != std::string::npos;
         open = cell.find('`', cell.find('`', open + 1) + 1)) {
      std::string step = cell.substr(open + 1, cell.find('`', open + 1) - open - 1);
      for (std::size_t bar = step.find("\\|"); bar != std::string::npos; bar = step.find("\\|"))
        step.erase(bar, 1);
      steps.push_back(step);
    }
  }
  return steps;
}

TEST(StepTable, TheManualsGrammarAndTheHelpAreTheTables) {
  std::ifstream file(DREZ_TEST_MANUAL, std::ios::binary);
  ASSERT_TRUE(file) << DREZ_TEST_MANUAL;
  std::ostringstream manual;
  manual << file.rdbuf();
  const std::vector<std::string> shown = manualSteps(manual.str());
  ASSERT_FALSE(shown.empty());
  const std::string help = scenarioHelp();
  for (const StepForm& form : stepForms()) {
    EXPECT_NE(std::find(shown.begin(), shown.end(), form.usage()), shown.end())
        << "the manual's tables lack " << form.usage();
    EXPECT_THAT(help, HasSubstr("  " + form.usage())) << "the help";
  }
  // Nothing else: a usage, the "end" of a block, or the phrase alone of a
  // step whose block opens without its operand.
  for (const std::string& step : shown) {
    const bool known =
        step == "end" ||
        std::any_of(stepForms().begin(), stepForms().end(), [&](const StepForm& form) {
          return step == form.usage() || (form.blockWithoutRest && step == form.phrase);
        });
    EXPECT_TRUE(known) << "the manual shows a step the table does not have: " << step;
  }
}

}  // namespace
