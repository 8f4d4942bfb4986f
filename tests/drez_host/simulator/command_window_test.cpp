// The window of commands the expectations about an action read: what it
// keeps, what it only counts, and that nothing of an earlier action stays.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "simulator/command_window.h"

namespace {

using ::testing::ElementsAreArray;
using namespace drezhost;

struct Sent {
  std::string text;
  std::string sender;
};

std::vector<std::pair<std::string, std::string>> kept(const CommandWindow& window) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (std::size_t i = 0; i < window.size(); ++i) {
    entries.emplace_back(std::string(window[i]), std::string(window.sender(i)));
  }
  return entries;
}

TEST(CommandWindow, KeepsEachTextWithItsSenderUpToTheLimit) {
  struct Case {
    const char* what;
    std::size_t limit;
    std::vector<Sent> sent;
    std::vector<std::pair<std::string, std::string>> kept;
  };
  const std::string longText(300, 'x');
  const std::vector<Case> cases = {
      {"nothing sent", 4, {}, {}},
      {"one script in a row",
       4,
       {{"IR 11 1 6", "s1"}, {"GS 31 100 0 0", "s1"}},
       {{"IR 11 1 6", "s1"}, {"GS 31 100 0 0", "s1"}}},
      {"senders taking turns",
       4,
       {{"ET 1", "s1"}, {"ET 2", "s2"}, {"ET 3", "s1"}},
       {{"ET 1", "s1"}, {"ET 2", "s2"}, {"ET 3", "s1"}}},
      // A name that begins another's is not taken for it.
      {"names that share a beginning",
       4,
       {{"AS", "s1"}, {"AS", "s10"}, {"AS", "s1"}},
       {{"AS", "s1"}, {"AS", "s10"}, {"AS", "s1"}}},
      {"no sender, and empty texts",
       4,
       {{"", ""}, {"AS", ""}, {"", "s1"}},
       {{"", ""}, {"AS", ""}, {"", "s1"}}},
      {"past the limit: counted only",
       2,
       {{"ET 1", "s1"}, {"ET 2", "s2"}, {"ET 3", "s1"}},
       {{"ET 1", "s1"}, {"ET 2", "s2"}}},
      {"no room at all", 0, {{"ET 1", "s1"}}, {}},
      {"long texts and bytes that are not UTF-8",
       4,
       {{longText, "s1"}, {std::string("\xff\0\x80", 3), "s\xc3"}},
       {{longText, "s1"}, {std::string("\xff\0\x80", 3), "s\xc3"}}},
  };
  for (const Case& c : cases) {
    CommandWindow window(c.limit);
    // What an earlier action left must not show through.
    window.add("TP 'text=old' '1' 'vls_name'", "old");
    window.clear();
    std::vector<std::string> texts;
    for (const Sent& sent : c.sent) window.add(sent.text, sent.sender);
    for (const auto& entry : c.kept) texts.push_back(entry.first);
    EXPECT_THAT(kept(window), ElementsAreArray(c.kept)) << c.what;
    EXPECT_EQ(window.total(), c.sent.size()) << c.what;
    EXPECT_EQ(window.texts(), texts) << c.what;
    EXPECT_TRUE(window.holds(texts)) << c.what;
    texts.emplace_back("AS");
    EXPECT_FALSE(window.holds(texts)) << c.what;
  }
}

// The host hands its window over and takes the runner's old one back
// emptied: a second action's window holds only that action's commands.
TEST(CommandWindow, ASwappedWindowStartsEmpty) {
  CommandWindow host(8);
  CommandWindow runner(8);
  host.add("ET 1", "s1");
  host.add("ET 2", "s1");
  std::swap(host, runner);
  host.clear();
  host.add("AS", "s2");
  EXPECT_THAT(runner.texts(), ElementsAreArray({"ET 1", "ET 2"}));
  std::swap(host, runner);
  host.clear();
  EXPECT_THAT(kept(runner),
              ElementsAreArray({std::make_pair(std::string("AS"), std::string("s2"))}));
  EXPECT_EQ(runner.total(), 1u);
  EXPECT_TRUE(host.empty());
  EXPECT_EQ(host.total(), 0u);
}

}  // namespace
