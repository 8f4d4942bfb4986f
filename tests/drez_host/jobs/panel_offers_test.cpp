// What validate and monkey make of a panel's lists and installation.

#include "jobs/panel_offers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using ::testing::ElementsAre;
using namespace drezhost;

TEST(PanelOffers, AListedItemIsSentAsListedOrWithEveryValueForItsPlaceholder) {
  const std::size_t every = offeredValues().size();
  const struct {
    const char* item;
    std::size_t requests;
    const char* first;
  } cases[] = {
      {"silence=1", 1, "silence=1"},
      {"return=feed", 1, "return=feed"},
      {"notify=*", every, "notify="},
      {"myParam=[value]", every, "myParam="},
      {"level=<0-5>", every, "level="},
      {"plain", 1, "plain"},
      {"a=[", 1, "a=["},  // no placeholder: one bracket only
      {"=*", every, "="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    const std::vector<std::string> requests = requestsFor(c.item);
    ASSERT_EQ(requests.size(), c.requests);
    EXPECT_EQ(requests.front(), c.first);
  }
  // Past 64, 256 and 4,096 characters, empty and odd, every one.
  std::vector<std::size_t> lengths;
  for (const OfferedValue& value : offeredValues()) lengths.push_back(value.text.size());
  for (std::size_t past : {std::size_t{0}, std::size_t{64}, std::size_t{256}, std::size_t{4096}}) {
    EXPECT_NE(std::find_if(lengths.begin(), lengths.end(),
                           [past](std::size_t n) { return past == 0 ? n == 0 : n > past; }),
              lengths.end())
        << past;
  }
}

TEST(PanelOffers, ListsAreReadLineByLineWithoutEmptyLinesOrClosingReturns) {
  EXPECT_THAT(listedItems("notify=*\r\n\nmyParam=[value]\n"),
              ElementsAre("notify=*", "myParam=[value]"));
  EXPECT_THAT(listedItems(""), ::testing::IsEmpty());
  EXPECT_EQ(listedItems(std::string(5000, '\n') +
                        [] {
                          std::string many;
                          for (int i = 0; i < 1500; ++i) many += "x=" + std::to_string(i) + "\n";
                          return many;
                        }())
                .size(),
            1000u);
}

TEST(PanelOffers, ControlsComeFromPanelFilesAndLoadedPanelsOnce) {
  Installation studio;
  studio.addPanelFile("a.drez_ui", {"silence", "caption"});
  studio.addPanelFile("b.drez_ui", {"caption", "feed"});
  ASSERT_TRUE(studio.loadPanel("1", "a.drez_ui"));
  Control learned;
  learned.id = "late";
  studio.panel("1")->controls.push_back(learned);
  EXPECT_THAT(controlIds(studio), ElementsAre("silence", "caption", "feed", "late"));
}
