// The replies a host hands out: numbered, taken back once, and every wrong
// release named.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulator/reply_ledger.h"

namespace {

using namespace drezhost;

TEST(ReplyLedger, HandsOutNumberedCopiesAndTakesEachBackOnce) {
  ReplyLedger ledger;
  std::string text = "11 0";
  const char* first = ledger.handOut(text, "SD 'a'");
  text = "changed";  // the ledger keeps its own copy
  const char* second = ledger.handOut("", "XI '1' 'x'");
  EXPECT_STREQ(first, "11 0");
  EXPECT_STREQ(second, "");
  EXPECT_NE(first, second);
  EXPECT_EQ(ledger.describe(first), "reply #1");
  EXPECT_EQ(ledger.describe(second), "reply #2");
  EXPECT_EQ(*ledger.commandOf(second), "XI '1' 'x'");
  EXPECT_EQ(ledger.heldCount(), 2u);
  EXPECT_EQ(ledger.heldSince(2), std::vector<const char*>{second});

  EXPECT_EQ(ledger.takeBack(first), std::nullopt);
  EXPECT_EQ(ledger.commandOf(first), nullptr);
  EXPECT_EQ(ledger.describe(first), "reply #1");  // still named once taken back
  EXPECT_EQ(ledger.held(), std::vector<const char*>{second});
  EXPECT_EQ(ledger.handedOut(), 2u);
  EXPECT_EQ(ledger.released(), 1u);
  EXPECT_EQ(ledger.nextNumber(), 3u);
}

TEST(ReplyLedger, NamesEveryWrongRelease) {
  ReplyLedger ledger;
  const char* reply = ledger.handOut("x", "TG '1' 'a' 'b'");
  ASSERT_EQ(ledger.takeBack(reply), std::nullopt);
  const char stranger[] = "not ours";
  const struct {
    const char* pointer;
    const char* fault;
  } cases[] = {
      {reply, "released reply #1 twice"},
      {nullptr, "released a null reply"},
      {stranger, "released a pointer, which this host never handed out"},
  };
  for (const auto& wrong : cases) EXPECT_EQ(ledger.takeBack(wrong.pointer), wrong.fault);
  EXPECT_EQ(ledger.describe(nullptr), "a null pointer");
  EXPECT_EQ(ledger.describe(stranger), "a pointer this host never handed out");
  EXPECT_EQ(ledger.released(), 1u);
}

TEST(ReplyLedger, MarksAHeldReplyReportedOnce) {
  ReplyLedger ledger;
  const char* reply = ledger.handOut("x", "SD 'a'");
  EXPECT_FALSE(ledger.reported(reply));
  ledger.markReported(reply);
  EXPECT_TRUE(ledger.reported(reply));
  ledger.takeBack(reply);
  EXPECT_FALSE(ledger.reported(reply));
}

TEST(ReplyLedger, KeepsManyRepliesApart) {
  ReplyLedger ledger;
  std::vector<const char*> replies;
  replies.reserve(1000);
  for (int i = 0; i < 1000; ++i) replies.push_back(ledger.handOut(std::to_string(i), "SD 'a'"));
  for (std::size_t i = 0; i < replies.size(); i += 2)
    EXPECT_EQ(ledger.takeBack(replies[i]), std::nullopt);
  EXPECT_EQ(ledger.heldCount(), 500u);
  EXPECT_EQ(ledger.heldSince(999).size(), 1u);
  EXPECT_STREQ(ledger.heldSince(999)[0], "999");
}

}  // namespace
