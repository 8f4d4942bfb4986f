#include <gtest/gtest.h>

#include <string>

#include "counting_host.h"
#include "recording_host.h"

namespace drezbench {
namespace {

TEST(CountingHost, CountsCommandsAndReleasesApartAndGivesNoReply) {
  CountingHost host;
  drez_client_host& as_host = host;
  EXPECT_EQ(as_host.command("GS 1 2 3 0", HOST_CMD_EXECUTE), 0);
  EXPECT_EQ(as_host.command("TG '1' 'c' 'v'", HOST_CMD_EXECUTE), 0);
  as_host.command("x", HOST_CMD_RELEASE);
  host.readReply("r");
  host.readReply(nullptr);
  EXPECT_EQ(host.executed(), 2u);
  EXPECT_EQ(host.released(), 1u);
  EXPECT_EQ(host.repliesRead(), 1u);
}

TEST(CountingHost, PassesEverythingToTheDelegateWithoutCounting) {
  drezhost::RecordingHost recorder;
  recorder.setResponder([](const std::string&) { return std::string("12 40"); });
  CountingHost host;
  host.setDelegate(&recorder);
  const intptr_t reply = host.command("SD 'x'", HOST_CMD_EXECUTE);
  ASSERT_NE(reply, 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(reply), "12 40");
  host.command(reinterpret_cast<const char*>(reply), HOST_CMD_RELEASE);
  host.setDelegate(nullptr);
  host.command("ET 1", HOST_CMD_EXECUTE);

  EXPECT_EQ(recorder.commands(), (std::vector<std::string>{"SD 'x'"}));
  EXPECT_EQ(recorder.repliesHeld(), 0u);
  EXPECT_TRUE(recorder.faults().empty());
  EXPECT_EQ(host.executed(), 1u);
  EXPECT_EQ(host.released(), 0u);
}

}  // namespace
}  // namespace drezbench
