// What Tab offers at drez-host -i, from the question that carries the live
// installation's names from the child to the parent.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/completion.h"
#include "console/line_editor.h"

namespace {

using ::testing::HasSubstr;
using namespace drezhost;

// Studio A, as the child describes it once a script loaded its panel.
LineQuestion studio() {
  LineQuestion question;
  question.prompt = "drez> ";
  question.devices = {{"RIR Tally Infodriver", DeviceKind::Infodriver, 11, 0, 6},
                      {"RIR SDI Router", DeviceKind::Router, 21, 0, 128},
                      {"RIR Audio Router", DeviceKind::Router, 22, 0, 128},
                      {"Studio A Blue Lights", DeviceKind::Outputs, 31, 100, 10}};
  const std::vector<std::string> controls = {"StA_Floor", "StC_Floor", "StC_News",
                                             "vls_id",    "vls_name",  "als_id",
                                             "als_name",  "alm_1",     "alm_2"};
  question.panelFiles = {{"p1.drez_ui", controls}};
  question.panels = {{"1", "p1.drez_ui", controls}};
  question.scripts = {"s1", "s2"};
  return question;
}

// Names only a quote, or another quote, can say; and characters of more
// than one byte.
LineQuestion oddNames() {
  LineQuestion question;
  question.devices = {{"panel", DeviceKind::Infodriver, 1, 0, 16},
                      {"Régie 1", DeviceKind::Router, 2, 0, 4},
                      {"Régie 2", DeviceKind::Router, 3, 0, 4},
                      {"Ré", DeviceKind::Outputs, 4, 0, 1},
                      {"Rè", DeviceKind::Outputs, 5, 0, 1}};
  question.scripts = {"it's", "a 'b' c"};
  return question;
}

struct TabCase {
  const char* before;
  std::size_t erase;
  const char* insert;
  // Substrings of the lines shown above the line, in order; none: nothing shown.
  std::vector<const char*> shown;
  LineQuestion (*question)() = studio;
  const char* block = "";
};

const TabCase kTabCases[] = {
    // Step words from the table, and their sub-words.
    {"ex", 0, "pect ", {}},
    {"expect ", 0, "", {"commands  no"}},
    {"expect no ", 0, "", {"commands  reply"}},
    {"expect no r", 0, "eply ", {}},
    {"host polls ", 0, "", {"host polls reentrant|queued|off", "reentrant  queued"}},
    {"host polls q", 0, "ueued ", {}},
    {"frobnicate ", 0, "", {}},
    // Names of the live installation, quoted as the writer quotes them.
    {"set 'RIR T", 0, "ally Infodriver' ", {}},
    {"set RIR", 3, "'RIR Tally Infodriver' ", {}},
    {"set ", 0, "'RIR Tally Infodriver' ", {"set <infodriver> <slot> <text>"}},
    {"route 'RIR ", 0, "", {"route <router>", "'RIR SDI Router'    'RIR Audio Router'"}},
    {"route 'RIR A", 0, "udio Router' ", {}},
    {"expect lamps S", 1, "'Studio A Blue Lights' ", {}},
    {"remove device ", 0, "'", {"remove device <name>", "'RIR Tally Infodriver'"}},
    // Slots, destinations and outputs of the device just named.
    {"set 'RIR Tally Infodriver' ", 0, "", {"set <infodriver>", "1  2  3  4  5  6"}},
    {"set 'RIR Tally Infodriver' 6", 0, " ", {}},
    {"route 'RIR SDI Router' 12", 0, "", {"route <router>", "12   120  121", "128"}},
    {"route 'RIR SDI Router' ", 0, "", {"route <router>", "... and 28 more"}},
    {"expect output 'Studio A Blue Lights' ", 0, "10", {"expect output", "100  101", "109"}},
    {"set 'RIR SDI Router' ", 0, "", {"set <infodriver>"}},
    // Controls, panel files, panels and scripts.
    {"control StA", 0, "_Floor ", {}},
    {"control St", 0, "", {"control <control>", "StA_Floor  StC_Floor  StC_News"}},
    {"control StA_Floor pressed ", 0, "", {"control <control>", "panel  to"}},
    {"control StA_Floor pressed panel ", 0, "1 ", {"control <control>"}},
    {"control StA_Floor pressed panel 1 t", 0, "o ", {}},
    {"remove control p1.drez_ui al", 0, "", {"remove control", "als_id", "alm_2"}},
    {"remove panelfile ", 0, "p1.drez_ui ", {"remove panelfile <file>"}},
    {"use ", 0, "s", {"use <script>", "s1  s2"}},
    {"request return=all to s2", 0, " ", {}},
    // Where any word may stand, an empty Tab only hints.
    {"say ", 0, "", {"say <text>"}},
    {"create ", 0, "", {"create [<script>] [path <text>]", "path"}},
    {"create p", 0, "ath ", {}},
    {"event ", 0, "", {"event <id> [to <script>]"}},
    {"device infodriver 'New' 40 ", 0, "", {"device infodriver", "offset  slots"}},
    {"include ", 0, "", {"include <file>"}},
    // Options by their keywords, and what their values name.
    {"expect commands ", 0, "from ", {"expect commands [from <script>]"}},
    {"expect no commands from ", 0, "s", {"expect no commands", "s1  s2"}},
    {"statesheet QZ_Studio_TX ", 0, "", {"statesheet <name> <colour>", "grey", "amber", "white"}},
    {"statesheet QZ_Studio_TX am", 0, "ber ", {}},
    // Inside a block, its own lines.
    {"", 0, "", {"on <command text>", "set", "route", "end"}, studio, "on"},
    {"r", 0, "oute ", {}, studio, "on"},
    {"e", 0, "nd ", {}, studio, "expect commands"},
    {"GS 31 ", 0, "", {}, studio, "expect commands"},
    {"", 0, "end ", {"expect reply <text>"}, studio, "expect reply"},
    // Odd names: keywords and quotes are quoted, characters kept whole.
    {"set pan", 3, "'panel' ", {}, oddNames},
    {"use it", 0, "'s ", {}, oddNames},
    {"use 'a", 2, "\"a 'b' c\" ", {}, oddNames},
    {"route R", 1, "'Régie ", {}, oddNames},
    {"route \"Rég", 4, "'Régie ", {}, oddNames},
    {"expect lamps 'R", 0, "", {"expect lamps", "Ré  Rè"}, oddNames},
};

TEST(LineCompletion, TabOffersWhatTheLanguageAndTheInstallationHold) {
  for (const TabCase& row : kTabCases) {
    SCOPED_TRACE(row.before);
    LineQuestion question = row.question();
    question.block = row.block;
    const TabAction action = tabAction(row.before, question, 80);
    EXPECT_EQ(action.erase, row.erase);
    EXPECT_EQ(action.insert, row.insert);
    std::string shown;
    for (const std::string& line : action.shown) shown += line + "\n";
    if (row.shown.empty()) {
      EXPECT_EQ(shown, "");
    }
    std::size_t at = 0;
    for (const char* piece : row.shown) {
      const std::size_t found = shown.find(piece, at);
      EXPECT_NE(found, std::string::npos) << "'" << piece << "' not in, in order:\n" << shown;
      if (found != std::string::npos) at = found + 1;
    }
  }
}

TEST(LineCompletion, ListsAreCutAndFitTheTerminal) {
  LineQuestion question = studio();
  question.devices.push_back({"Huge", DeviceKind::Router, 40, 0, 2000000000});
  const TabAction action = tabAction("route Huge ", question, 40);
  ASSERT_FALSE(action.shown.empty());
  // Only the first thousand numbers are offered, a hundred listed.
  EXPECT_EQ(action.shown.back(), "  ... and 900 more");
  // The usage line first, then the list.
  for (std::size_t i = 1; i < action.shown.size(); ++i) {
    EXPECT_LE(action.shown[i].size(), 40u) << action.shown[i];
  }
}

TEST(LineCompletion, PhraseOfALine) {
  const struct {
    const char* line;
    const char* phrase;
  } cases[] = {{"expect no reply", "expect no reply"},
               {"expect commands from s2", "expect commands"},
               {"expect reply", "expect reply"},
               {"  on TP 'statesheet=x' '1' 'StA_Floor'", "on"},
               {"expect commands", "expect commands"},
               {"expect", ""},
               {"", ""}};
  for (const auto& row : cases) EXPECT_EQ(phraseOf(row.line), row.phrase) << row.line;
}

}  // namespace
