// The scenario language: reading it, and running it against the Vantrel panel.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "scenario/installation_file.h"
#include "scenario/parser.h"
#include "scenario/scenario_files.h"
#include "scenario/writer.h"
#include "simulator/trace.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using namespace drezhost;

std::vector<Step> parse(const std::string& text) {
  std::istringstream in(text);
  return parseScenario(in, "test.scn");
}

std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
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
      "end\n"
      "expect commands from s2\n"
      "  ET 5\n"
      "end\n"
      "expect no commands from 'my script'\n"
      "expect reply\n"
      "    desk=CAM 1  \n"
      "  # not a line of the reply\n"
      "  'wall=VT 12'\n"
      "end\n"
      "expect reply\n"
      "end\n");
  ASSERT_EQ(steps.size(), 7u);
  EXPECT_THAT(steps[0].as<steps::ExpectCommands>()->commands, ElementsAre("GS 31 100 0 0", "AS"));
  ASSERT_NE(steps[1].as<steps::ExpectCommands>(), nullptr);
  EXPECT_TRUE(steps[1].as<steps::ExpectCommands>()->commands.empty());
  const auto* on = steps[2].as<steps::On>();
  ASSERT_NE(on, nullptr);
  EXPECT_EQ(on->command, "ET 5");
  ASSERT_EQ(on->changes.size(), 2u);
  EXPECT_NE(on->changes[1].as<steps::Route>(), nullptr);
  EXPECT_EQ(on->changes[1].line, 9);
  const auto* from = steps[3].as<steps::ExpectCommands>();
  ASSERT_NE(from, nullptr);
  EXPECT_EQ(from->script, "s2");
  EXPECT_THAT(from->commands, ElementsAre("ET 5"));
  EXPECT_EQ(steps[4].as<steps::ExpectCommands>()->script, "my script");
  EXPECT_TRUE(steps[4].as<steps::ExpectCommands>()->commands.empty());
  EXPECT_TRUE(steps[0].as<steps::ExpectCommands>()->script.empty());
  // A reply's lines, each trimmed, joined by line feeds; none: empty text.
  EXPECT_EQ(steps[5].as<steps::ExpectReply>()->reply, "desk=CAM 1\n'wall=VT 12'");
  EXPECT_EQ(steps[5].line, 15);
  EXPECT_EQ(steps[6].as<steps::ExpectReply>()->reply, "");
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
  // Where an option may stand, the message names the options.
  EXPECT_THAT(parseError("event 5 too\n"), HasSubstr("expected 'to', found 'too'"));
  EXPECT_THAT(parseError("control a b panel 2 to s1 via x\n"),
              HasSubstr("expected 'panel' or 'to', found 'via'"));
  EXPECT_THAT(parseError("show now\n"), HasSubstr("unexpected 'now' at the end of the line"));
  EXPECT_THAT(parseError("expect no commands to s2\n"), HasSubstr("expected 'from', found 'to'"));
  EXPECT_THAT(parseError("expect commands from\n"),
              HasSubstr("expected a script name, found the end of the line"));
  EXPECT_EQ(parseError("request x\nexpect reply\n  a=1\n"), "test.scn:2: this block has no 'end'");
  EXPECT_THAT(parseError("include\n"),
              HasSubstr("expected the file to include, found the end of the line"));
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
      // The edges of the bytes shown as they are.
      {"\x1f \x7e\x7f", "\\x1F ~\\x7F"},
      {"'\"`", "'\"`"},
      {"\x80", "\\x80"},
  };
  for (const auto& entry : cases) {
    EXPECT_EQ(shownText(entry.first), entry.second) << entry.second;
    // Appended to a string that holds something, the same text follows it.
    std::string appended = "before ";
    appendShown(appended, entry.first);
    EXPECT_EQ(appended, "before " + entry.second);
  }
  EXPECT_EQ(quoteText("say \"hi\""), "\"say \\\"hi\\\"\"");
}

TEST(ShownText, AppendsNumbersAsToStringWritesThem) {
  for (const long long number : {0LL, 7LL, -1LL, 2147483647LL, -2147483648LL, 9223372036854775807LL,
                                 static_cast<long long>(-9223372036854775807LL - 1)}) {
    std::string appended = "event id ";
    appendNumber(appended, number);
    EXPECT_EQ(appended, "event id " + std::to_string(number));
  }
}

// Quoted: the escapes of shownText(), a double quote escaped too, a text
// cut after the limit with its length, and the quotes around it all.
TEST(ShownText, QuotesTextsWhateverTheyHold) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "\"\""},
      {"CAM 1 Studio A", "\"CAM 1 Studio A\""},
      {"\"", "\"\\\"\""},
      {"a\\\"b\n", "\"a\\\\\\\"b\\n\""},
      {"\xff\"", "\"\\xFF\\\"\""},
      {std::string(kShownTextLimit, '"') + "x", "\"" +
                                                    [] {
                                                      std::string escaped;
                                                      for (std::size_t i = 0; i < kShownTextLimit;
                                                           ++i)
                                                        escaped += "\\\"";
                                                      return escaped;
                                                    }() +
                                                    "... (401 bytes)\""},
  };
  for (const auto& entry : cases) {
    EXPECT_EQ(quoteText(entry.first), entry.second) << entry.second;
    std::string appended = "request ";
    appendQuoted(appended, entry.first);
    EXPECT_EQ(appended, "request " + entry.second);
  }
}

TEST(ScenarioParser, LeavesNoBlockOpenAfterAnError) {
  ScenarioParser parser("t");
  EXPECT_FALSE(parser.feed("expect commands"));
  EXPECT_TRUE(parser.inBlock());
  EXPECT_TRUE(parser.feed("end"));
  EXPECT_THROW(parser.feed("nonsense"), ScenarioError);
  EXPECT_FALSE(parser.inBlock());
  // A bad line inside a block drops the block too.
  EXPECT_FALSE(parser.feed("on AS"));
  EXPECT_THROW(parser.feed("  event x"), ScenarioError);
  EXPECT_FALSE(parser.inBlock());
  EXPECT_NO_THROW(parser.finish());
}

// A line read again reads as it did, whatever was read between: steps of
// other forms, lines that share a slot of the parser's memory of lines
// (more lines than it has slots), bad lines, blocks; and each step says
// where it stands, not where the line stood before.
TEST(ScenarioParser, ALineReadAgainReadsAsTheFirstTime) {
  const std::vector<std::string> lines = {
      "set 'RIR Tally Infodriver' 1 2",
      "route 'RIR SDI Router' 97 3 'CAM 3'",
      "request return=myParam",
      "event 7",
      "expect sent TP 'text=1' '1' 'vls_id'",
      "expect no commands from s1",
      "on GS 31 105 1 0",
      "  set 'RIR Tally Infodriver' 1 0",
      "end",
      "set 'RIR Tally Infodriver' 1 0",
  };
  std::vector<std::string> many(1500);
  for (std::size_t i = 0; i < many.size(); ++i) many[i] = "event " + std::to_string(i);
  ScenarioParser parser("again.scn");
  int lineNumber = 0;
  auto feedAll = [&](const std::vector<std::string>& block, std::vector<std::string>* written) {
    for (const std::string& line : block) {
      ++lineNumber;
      Step step;
      if (!parser.feed(line, step)) continue;
      // A block's step stands where it opened: "on", two lines up.
      EXPECT_EQ(step.line, line == "end" ? lineNumber - 2 : lineNumber) << line;
      EXPECT_EQ(step.file, "again.scn");
      const std::optional<std::string> text = writeStep(step.body);
      ASSERT_TRUE(text.has_value()) << line;
      written->push_back(*text);
    }
  };
  std::vector<std::string> first;
  std::vector<std::string> ignored;
  feedAll(lines, &first);
  for (int round = 0; round < 3; ++round) {
    feedAll(many, &ignored);
    EXPECT_THROW(parser.feed("set 'RIR Tally Infodriver' one 2"), ScenarioError);
    ++lineNumber;
    std::vector<std::string> again;
    feedAll(lines, &again);
    EXPECT_EQ(again, first) << "round " << round;
  }
  EXPECT_EQ(ignored.size(), 3 * many.size());
  EXPECT_EQ(ignored[1499], "event 1499");
}

// The lines a stream holds, as ScenarioLines reads them.
std::vector<std::pair<std::string, bool>> linesOf(std::istream& in) {
  std::vector<std::pair<std::string, bool>> lines;
  ScenarioLines reader(in);
  std::string line;
  bool cut = false;
  while (reader.next(line, &cut)) lines.emplace_back(line, cut);
  EXPECT_FALSE(reader.next(line, &cut)) << "read again after the end";
  return lines;
}

// The lines of `text` split at each line feed: the last only when the text
// does not end with one.
std::vector<std::pair<std::string, bool>> splitLines(const std::string& text) {
  std::vector<std::pair<std::string, bool>> lines;
  std::size_t begin = 0;
  for (std::size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
    lines.emplace_back(text.substr(begin, end - begin), false);
  }
  if (begin < text.size()) lines.emplace_back(text.substr(begin), false);
  return lines;
}

// A stream that holds no bytes of its own: each comes from underflow.
class ByteByByte : public std::streambuf {
 public:
  explicit ByteByByte(std::string text) : text_(std::move(text)) {}

 protected:
  int_type underflow() override {
    if (at_ == text_.size()) return traits_type::eof();
    byte_ = text_[at_];
    setg(&byte_, &byte_, &byte_ + 1);
    ++at_;
    return traits_type::to_int_type(byte_);
  }

 private:
  std::string text_;
  std::size_t at_ = 0;
  char byte_ = 0;
};

TEST(ScenarioLines, ReadsEveryLineOfAStreamCutAtEveryByte) {
  // Bytes that are not UTF-8, a zero byte among them.
  static const char kText[] =
      "create\r\n\n  set 'RIR Tally Infodriver' 1 2\n# a comment\n\n\nevent 5\n"
      "\xEF\xBB\xBF\xff\x00 bytes\nlast";
  const std::string text(kText, sizeof kText - 1);
  for (std::size_t size = 0; size <= text.size(); ++size) {
    const std::string prefix = text.substr(0, size);
    std::istringstream in(prefix);
    EXPECT_EQ(linesOf(in), splitLines(prefix)) << size << " bytes";
    ByteByByte bytes(prefix);
    std::istream unbuffered(&bytes);
    EXPECT_EQ(linesOf(unbuffered), splitLines(prefix)) << size << " bytes, one by one";
  }
  // Lines across many blocks of the reader, and a line that ends a block.
  std::string many;
  for (int i = 0; i < 5000; ++i) many += "event " + std::to_string(i) + "\n";
  many += std::string(16383 - many.size() % 16384, 'x') + "\n";
  std::istringstream in(many);
  EXPECT_EQ(linesOf(in), splitLines(many));
}

#ifndef _WIN32
// A line that came down a pipe is read while the writer still holds the
// pipe open: the reader does not wait for a block to fill.
TEST(ScenarioLines, ReadsALineOfAPipeAsItComes) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::ifstream in("/proc/self/fd/" + std::to_string(ends[0]), std::ios::binary);
  ASSERT_TRUE(in.is_open());
  ScenarioLines reader(in);
  std::string line;
  bool cut = false;
  for (const char* sent : {"create\n", "event 5\n"}) {
    ASSERT_EQ(write(ends[1], sent, std::strlen(sent)), static_cast<ssize_t>(std::strlen(sent)));
    ASSERT_TRUE(reader.next(line, &cut));
    EXPECT_EQ(line + "\n", sent);
  }
  close(ends[1]);
  EXPECT_FALSE(reader.next(line, &cut));
  close(ends[0]);
}
#endif

TEST(ScenarioLines, CutsALineLongerThanTheLimitAndSkipsItsRest) {
  const std::size_t limit = ScenarioParser::kLineLimit;
  const struct {
    const char* name;
    std::string text;
    std::vector<std::pair<std::string, bool>> lines;
  } cases[] = {
      {"at the limit",
       std::string(limit, 'a') + "\nend\n",
       {{std::string(limit, 'a'), false}, {"end", false}}},
      {"one over",
       std::string(limit + 1, 'b') + "\nend",
       {{std::string(limit, 'b'), true}, {"end", false}}},
      {"far over, no line feed", std::string(3 * limit, 'c'), {{std::string(limit, 'c'), true}}},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.text);
    EXPECT_EQ(linesOf(in), c.lines) << c.name;
  }
}

// Files in a folder of their own, for the steps of included files.
class IncludedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::filesystem::path(::testing::TempDir()) / (std::string("drez_") + test->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_ / "sub");
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // Writes `text` into `name` (relative to the folder); returns its path.
  std::string write(const std::string& name, const std::string& text) {
    std::ofstream(path(name), std::ios::binary) << text;
    return path(name);
  }
  std::string path(const std::string& name) const {
    return (folder_ / name).lexically_normal().string();  // as an include names it
  }

  // The steps of `file`, the files it includes read in their place.
  std::vector<Step> read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<Step> steps;
    for (Step& step : parseScenario(in, file)) expand(step, steps);
    return steps;
  }
  void expand(const Step& step, std::vector<Step>& steps) {
    const auto* include = step.as<steps::Include>();
    if (include == nullptr) return steps.push_back(step);
    IncludedFile file(step, *include);
    while (std::optional<Step> inner = file.next()) expand(*inner, steps);
  }
  std::string error(const std::string& file) {
    try {
      read(file);
    } catch (const ScenarioError& error) {
      return error.what();
    }
    ADD_FAILURE() << "no error for " << file;
    return std::string();
  }

  std::filesystem::path folder_;
};

TEST_F(IncludedFiles, ReadsTheStepsInPlaceAndSaysWhereEachWasIncluded) {
  write("sub/c.scn", "\nevent 3\n");
  write("sub/b.scn", "event 2\ninclude c.scn\n");
  const std::string a = write("a.scn", "include 'sub/b.scn'\nevent 4\n");
  const std::vector<Step> steps = read(a);
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[0].where(), path("sub/b.scn") + ":1 (included from " + a + ":1)");
  EXPECT_EQ(steps[1].where(),
            path("sub/c.scn") + ":2 (included from " + path("sub/b.scn") + ":2, from " + a + ":1)");
  EXPECT_EQ(steps[1].as<steps::Event>()->id, 3);
  EXPECT_EQ(steps[2].where(), a + ":2");
}

TEST_F(IncludedFiles, RefusesACycleWithItsChainAndWhatIsNoFile) {
  write("sub/b.scn", "event 2\ninclude ../a.scn\n");
  const std::string a = write("a.scn", "include sub/b.scn\n");
  EXPECT_EQ(error(a), path("sub/b.scn") + ":2 (included from " + a + ":1): cannot include '" + a +
                          "': the files include each other: " + a + " includes " +
                          path("sub/b.scn") + ", which includes " + a);
  EXPECT_THAT(error(write("self.scn", "include self.scn\n")),
              HasSubstr("the files include each other: " + path("self.scn") + " includes " +
                        path("self.scn")));
  EXPECT_THAT(error(write("folder.scn", "include sub\n")),
              HasSubstr("cannot read the included file '" + path("sub") + "': it is a directory"));
  EXPECT_THAT(error(write("missing.scn", "include nothing.scn\n")),
              HasSubstr("'" + path("nothing.scn") + "': it does not exist"));
  // A name that would colour the terminal is refused, shown escaped.
  EXPECT_THAT(error(write("escape.scn", "include '\x1b[31mred.scn'\n")),
              HasSubstr("red.scn': a file name holds no control character"));
  EXPECT_THAT(error(path("escape.scn")), Not(HasSubstr("\x1b")));
#ifndef _WIN32
  EXPECT_THAT(error(write("device.scn", "include /dev/zero\n")),
              HasSubstr("'/dev/zero': it is not a regular file"));
#endif
}

TEST_F(IncludedFiles, ABadLineOfAnIncludedFileIsReportedThereWithTheChain) {
  write("sub/b.scn", "event 2\njump 3\n");
  const std::string a = write("a.scn", "\ninclude sub/b.scn\n");
  EXPECT_EQ(error(a), path("sub/b.scn") + ":2 (included from " + a +
                          ":2): unknown step 'jump' (try: help) in: jump 3");
  write("sub/open.scn", "expect commands\n  AS\n");
  EXPECT_EQ(error(write("open.scn", "include sub/open.scn\n")),
            path("sub/open.scn") + ":1 (included from " + path("open.scn") +
                ":1): this block has no 'end'");
}

TEST_F(IncludedFiles, AnInstallationFileIncludesAndColoursStatesheets) {
  write("sub/router.scn", "device router R 21\nstatesheet QZ_Studio_TX #c0ffee\n");
  const std::string file =
      write("studio.scn", "include sub/router.scn\nstatesheet QZ_Studio_OFF grey\nroute R 1 2\n");
  const Installation installation = readInstallation(fileText(file), file);
  EXPECT_NE(installation.findName("R"), nullptr);
  EXPECT_EQ(installation.findDevice(21)->route(1).source, 2);
  EXPECT_THAT(installation.statesheetColours(),
              ElementsAre(std::pair<const std::string, std::string>("QZ_Studio_OFF", "grey"),
                          std::pair<const std::string, std::string>("QZ_Studio_TX", "#c0ffee")));
  // As one text, the included steps in place, for a process that reads no file.
  const std::string text = installationFileText(file);
  EXPECT_EQ(text,
            "device router R 21\nstatesheet QZ_Studio_TX #c0ffee\nstatesheet QZ_Studio_OFF grey\n"
            "route R 1 2\n");
  EXPECT_EQ(writeInstallation(readInstallation(text, "flat"), {}),
            writeInstallation(installation, {}));
  EXPECT_THAT(writeInstallation(installation, {}), HasSubstr("statesheet QZ_Studio_TX #c0ffee\n"));
  // Only installation steps, in the included file too, which is named.
  write("sub/acts.scn", "create\n");
  EXPECT_THROW(readInstallation("include sub/acts.scn\n", path("x.scn")), ScenarioError);
  try {
    installationFileText(write("acts.scn", "include sub/acts.scn\n"));
    ADD_FAILURE() << "an action in an included installation file";
  } catch (const ScenarioError& error) {
    EXPECT_THAT(error.what(), HasSubstr(path("sub/acts.scn") + ":1 (included from"));
    EXPECT_THAT(error.what(), HasSubstr("statesheet, include, set and route lines, not: create"));
  }
}

TEST_F(IncludedFiles, ATraceExpectedInAnIncludedFileIsFound) {
  write("sub/trace.scn", "expect trace golden.trace\n");
  write("sub/sent.scn", "expect sent GS 31 101 0 0\n");
  const ActionReads traced = actionReads(write("a.scn", "create\ninclude sub/trace.scn\n"));
  EXPECT_TRUE(traced.trace);
  EXPECT_FALSE(traced.commands);
  const ActionReads none =
      actionReads(write("b.scn", "create\ninclude b.scn\njump\ninclude none.scn\n"));
  EXPECT_FALSE(none.trace);
  EXPECT_FALSE(none.commands);
  // A file that cannot be read may read anything.
  const ActionReads unread = actionReads(path("unreadable.scn"));
  EXPECT_TRUE(unread.trace && unread.commands);
  const ActionReads both =
      actionReads(write("c.scn", "include sub/trace.scn\ninclude sub/sent.scn\n"));
  EXPECT_TRUE(both.trace && both.commands);
}

// The file's bytes are looked at before it is parsed: a word cut between
// the blocks they are read in is still found, and a word that is no step
// does not make one.
TEST_F(IncludedFiles, AStepThatReadsAnActionIsFoundWhereverItsWordsStand) {
  // One comment line, so that "trace" starts 3 bytes before the first
  // block of 65,536 ends.
  const std::string filler(65536 - 11, '#');
  const struct {
    const char* name;
    std::string text;
    bool trace;
    bool commands;
  } cases[] = {
      {"none.scn", "create\n" + filler + "\nevent 1\n", false, false},
      {"straddling.scn", filler + "\nexpect trace golden.txt\n", true, false},
      {"include_straddling.scn", std::string(65536 - 4, '#') + "\ninclude sub/t.scn\n", true,
       false},
      {"comment.scn", "# no trace is expected here; nothing is included\ncreate\n", false, false},
      {"at_end.scn", "create\nexpect trace golden.trace", true, false},
      // The steps that read an action's commands; words that are no step.
      {"commands.scn", filler + "\nexpect commands\nGS 31 101 0 0\nend\n", false, true},
      {"no_commands.scn", "create\nexpect no commands from s1\n", false, true},
      {"sent_straddling.scn", std::string(65536 - 9, '#') + "\nexpect sent GS 31 101 0 0\n", false,
       true},
      {"words.scn", "# the commands sent are not read here\ncreate\nevent 1\n", false, false},
      {"lamps.scn", "create\nexpect lamps 'Studio A Blue Lights' 0 0 0 0 0 0 0 0 0 0\n", false,
       false},
      {"marked.scn",
       "\xEF\xBB\xBF"
       "expect trace golden.trace\n",
       true, false},
      {"indented.scn", "create\n\t  expect sent ET 1\r\n", false, true},
      {"in_block.scn", "on ET 1\n  set 'RIR Tally Infodriver' 1 2\nend\nexpect sent ET 1\n", false,
       true},
  };
  write("sub/t.scn", "expect trace golden.trace\n");
  for (const auto& c : cases) {
    const ActionReads reads = actionReads(write(c.name, c.text));
    EXPECT_EQ(reads.trace, c.trace) << c.name;
    EXPECT_EQ(reads.commands, c.commands) << c.name;
  }
}

}  // namespace
