// What crosses between drez-host and its child processes: every message, every
// task and the answers, round-tripped through the one codec, whatever their
// texts hold; and frames cut short, garbled or too long.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "isolation/codec.h"

namespace {

using namespace drezhost;

// Texts no line of the scenario language can hold, and bytes that are no UTF-8.
const std::string kOdd = std::string("a\nb\r\t'\"\\ \xff\xfe\x01 ") + std::string(1, '\0') + "z";

auto fields(const OutputLine& line) { return std::tie(line.kind, line.text, line.spaced); }
auto fields(const LineQuestion::DeviceEntry& d) {
  return std::tie(d.name, d.kind, d.number, d.offset, d.size);
}
auto fields(const LineQuestion::PanelFileEntry& f) { return std::tie(f.file, f.controls); }
auto fields(const LineQuestion::PanelEntry& p) { return std::tie(p.id, p.file, p.controls); }
auto fields(const RunSummary& s) {
  return std::tie(s.verdict, s.actions, s.expectations, s.notMet, s.errors, s.warnings,
                  s.debugLines, s.messages);
}
auto fields(const TaskSettings& s) {
  return std::tie(s.library, s.installation, s.polls, s.maxDepth, s.maxCommands);
}
auto fields(const tasks::LibraryProbe& t) { return std::tie(t.learn, t.path); }
auto fields(const tasks::Scenario& t) {
  return std::tie(t.source, t.file, t.quiet, t.showStudio, t.coverage, t.updateTraces,
                  t.recordTrace, t.checkTrace);
}
auto fields(const tasks::Check& t) { return std::tie(t.name, t.path); }
auto fields(const tasks::Monkey& t) { return std::tie(t.seed, t.events, t.path, t.again); }
auto fields(const tasks::Replay& t) { return std::tie(t.capture, t.quiet); }
auto fields(const tasks::Studio& t) { return std::tie(t.scenarioText, t.scenarioName); }

template <typename T>
bool same(const std::vector<T>& a, const std::vector<T>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fields(a[i]) != fields(b[i])) return false;
  }
  return true;
}

bool same(const ChildMessage& a, const ChildMessage& b) {
  if (a.index() != b.index()) return false;
  if (const auto* line = std::get_if<OutputLine>(&a)) {
    return fields(*line) == fields(std::get<OutputLine>(b));
  }
  if (const auto* question = std::get_if<LineQuestion>(&a)) {
    const auto& other = std::get<LineQuestion>(b);
    return question->prompt == other.prompt && question->block == other.block &&
           same(question->devices, other.devices) && same(question->panelFiles, other.panelFiles) &&
           same(question->panels, other.panels) && question->scripts == other.scripts;
  }
  if (const auto* event = std::get_if<messages::MonkeyEvent>(&a)) {
    return event->lines == std::get<messages::MonkeyEvent>(b).lines;
  }
  if (const auto* reached = std::get_if<messages::Reached>(&a)) {
    return reached->what == std::get<messages::Reached>(b).what;
  }
  if (const auto* learned = std::get_if<messages::LearnedInstallation>(&a)) {
    return learned->steps == std::get<messages::LearnedInstallation>(b).steps;
  }
  if (const auto* difference = std::get_if<messages::ReplayDifference>(&a)) {
    const auto& other = std::get<messages::ReplayDifference>(b);
    return difference->line == other.line && difference->message == other.message;
  }
  if (const auto* answer = std::get_if<messages::StudioAnswer>(&a)) {
    return answer->json == std::get<messages::StudioAnswer>(b).json;
  }
  return fields(std::get<messages::Finished>(a).summary) ==
         fields(std::get<messages::Finished>(b).summary);
}

bool same(const TaskOrder& a, const TaskOrder& b) {
  if (fields(a.settings) != fields(b.settings) || a.task.index() != b.task.index()) return false;
  return std::visit(
      [&b](const auto& task) {
        return fields(task) == fields(std::get<std::decay_t<decltype(task)>>(b.task));
      },
      a.task);
}

template <typename T>
T roundTrip(const T& value) {
  const std::string frame = encodeFrame(value);
  std::size_t at = 0;
  std::optional<T> back = takeFrame<T>(frame, at);
  EXPECT_EQ(at, frame.size());
  return back.value();
}

LineQuestion studioQuestion() {
  LineQuestion question;
  question.prompt = "...> ";
  question.block = "expect commands";
  question.devices = {{"RIR Tally Infodriver", DeviceKind::Infodriver, 11, 0, 6},
                      {"it's \"quoted\" 'twice'", DeviceKind::Router, -7, 3, 9},
                      {"Régie\n2", DeviceKind::Outputs, 31, 100, 10}};
  question.panelFiles = {{"p 1.drez_ui", {"#hash", "to", "x\ty"}}};
  question.panels = {{"panel two", "p 1.drez_ui", {"#hash", kOdd}}};
  question.scripts = {"it's", "a 'b' c", kOdd};
  return question;
}

RunSummary oddSummary() {
  RunSummary summary;
  summary.verdict = Verdict::Hung;
  summary.actions = 7;
  summary.expectations = 5;
  summary.notMet = 3;
  summary.errors = 2;
  summary.warnings = 1;
  summary.debugLines = 4000000000u;
  summary.messages = {"expected:\n  two lines", kOdd, ""};
  return summary;
}

TEST(Codec, EveryMessageCrossesAsItIs) {
  const std::vector<ChildMessage> messages = {
      OutputLine{LineKind::Debug, kOdd, true},
      OutputLine{LineKind::Result, "==== PASSED", false},
      studioQuestion(),
      LineQuestion(),
      messages::MonkeyEvent{"on GS 31 100 1 0\n  set 'RIR Tally Infodriver' 1 2\nend\nevent 3"},
      messages::Reached{"2 slots of 'Newsroom Tally', " + kOdd},
      messages::LearnedInstallation{"# learned\ndevice infodriver 'T' 101 offset 20 slots 16\n"},
      messages::StudioAnswer{R"({"status": 200, "body": {"lines": []}})"},
      messages::ReplayDifference{47, "t.capture:47: in the request \"x\" to s1: " + kOdd},
      messages::Finished{oddSummary()},
  };
  // Every alternative of the variant is in the table.
  std::vector<bool> seen(std::variant_size_v<ChildMessage>);
  for (const ChildMessage& message : messages) {
    seen[message.index()] = true;
    EXPECT_TRUE(same(roundTrip(message), message)) << "alternative " << message.index();
  }
  EXPECT_THAT(seen, ::testing::Each(true));
}

TEST(Codec, EveryTaskCrossesWithItsSettings) {
  TaskSettings settings;
  settings.library = "C:\\panels\\it's mine\\Vantrel.dll";
  settings.installation = "device router 'R' 21\n" + kOdd;
  settings.polls = PollDelivery::Off;
  settings.maxDepth = 17;
  settings.maxCommands = 123456789;
  tasks::Scenario scenario;
  scenario.source = tasks::Scenario::Source::File;
  scenario.file = "/work/a b.scn";
  scenario.quiet = true;
  scenario.showStudio = true;
  scenario.coverage = true;
  scenario.updateTraces = true;
  scenario.recordTrace = "r.trace";
  scenario.checkTrace = "c.trace";
  tasks::Monkey monkey{18446744073709551615u, 300, kOdd, std::nullopt};
  tasks::Monkey again = monkey;
  again.again = std::vector<std::string>{"create path crash", "", kOdd};
  const std::vector<Task> all = {
      tasks::LibraryProbe{true, kOdd},
      scenario,
      tasks::Scenario{},
      tasks::Check{"replies-once", "static-reply"},
      monkey,
      again,
      tasks::Replay{"studio.capture", true},
      tasks::Studio{"create\nset 'T' 1 2\n", "studio"},
  };
  std::vector<bool> seen(std::variant_size_v<Task>);
  for (const Task& task : all) {
    seen[task.index()] = true;
    const TaskOrder order{settings, task};
    EXPECT_TRUE(same(roundTrip(order), order)) << "alternative " << task.index();
  }
  EXPECT_THAT(seen, ::testing::Each(true));
}

TEST(Codec, AnAnswerOrNone) {
  EXPECT_EQ(roundTrip(Answer{kOdd}).text, kOdd);
  EXPECT_EQ(roundTrip(Answer{std::string()}).text, std::string());
  EXPECT_FALSE(roundTrip(Answer{}).text.has_value());
}

TEST(Codec, FramesComeWholeOneAfterAnother) {
  const std::string first = encodeFrame(ChildMessage(OutputLine{LineKind::Trace, "one", false}));
  const std::string second = encodeFrame(ChildMessage(messages::Reached{"two"}));
  const std::string both = first + second;
  // Cut anywhere, a frame is not read until it is whole.
  for (std::size_t cut = 0; cut < first.size(); ++cut) {
    std::size_t at = 0;
    EXPECT_FALSE(takeFrame<ChildMessage>(both.substr(0, cut), at).has_value()) << cut;
    EXPECT_EQ(at, 0u);
  }
  std::size_t at = 0;
  EXPECT_EQ(std::get<OutputLine>(*takeFrame<ChildMessage>(both, at)).text, "one");
  EXPECT_EQ(std::get<messages::Reached>(*takeFrame<ChildMessage>(both, at)).what, "two");
  EXPECT_FALSE(takeFrame<ChildMessage>(both, at).has_value());
  EXPECT_EQ(at, both.size());
}

TEST(Codec, WhatDrezHostDidNotWriteIsRefused) {
  const std::string line = encodeFrame(ChildMessage(OutputLine{LineKind::Trace, "ok", false}));
  const std::string answer = encodeFrame(Answer{std::string("x")});
  std::string garbled = line;
  garbled[kFrameHead] = '\x1c';  // a CBOR head no value has
  const std::string noCbor = std::string("\x03\x00\x00\x00", 4) + "\xff\xff\xff";
  std::string unknown = encodeFrame(ChildMessage(messages::Reached{"x"}));
  unknown.replace(unknown.find("reached"), 7, "reaches");
  struct Case {
    const char* what;
    std::string bytes;
    bool moves;  // past the frame, which stood whole
  } cases[] = {
      {"a value that does not read", garbled, true},
      {"no CBOR", noCbor, true},
      {"an answer where a message stands", answer, true},
      {"an alternative no one knows", unknown, true},
      {"a length over the limit", std::string("\xff\xff\xff\x7f", 4) + "x", false},
  };
  for (const Case& entry : cases) {
    std::size_t at = 0;
    EXPECT_THROW(takeFrame<ChildMessage>(entry.bytes, at), CodecError) << entry.what;
    EXPECT_EQ(at, entry.moves ? entry.bytes.size() : 0u) << entry.what;
  }
  // An order where a message stands, and an enumeration out of its range.
  std::size_t at = 0;
  EXPECT_THROW(takeFrame<TaskOrder>(line, at), CodecError);
  const std::string kind =
      encodeFrame(ChildMessage(OutputLine{static_cast<LineKind>(23), "no such kind", false}));
  at = 0;
  EXPECT_THROW(takeFrame<ChildMessage>(kind, at), CodecError);
}

}  // namespace
