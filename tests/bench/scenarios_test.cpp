// What the measured events send: the benchmarks are worth their figures only
// if each event is the one it claims to be and its replay sends the same.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scenarios.h"

namespace drezbench {
namespace {

using Texts = std::vector<std::string>;

class ScenariosTest : public ::testing::Test {
 protected:
  Scenario& scenario(const std::string& id) {
    for (const auto& candidate : scenarios_) {
      if (candidate->id() == id) return *candidate;
    }
    ADD_FAILURE() << "no scenario " << id;
    return *scenarios_.front();
  }

  std::vector<std::unique_ptr<Scenario>> scenarios_ = makeScenarios();
};

TEST_F(ScenariosTest, ScenariosComeInTableOrder) {
  Texts ids;
  for (const auto& candidate : scenarios_) ids.push_back(candidate->id());
  EXPECT_EQ(ids, (Texts{"studio_to_tx", "router_readout", "slot4_mode", "request", "event_id"}));
}

TEST_F(ScenariosTest, StudioChangeSwitchesTenOutputsAndThreeStatesheetsEachWay) {
  const std::vector<Recorded>& rotation = scenario("studio_to_tx").rotation();
  ASSERT_EQ(rotation.size(), 2u);
  EXPECT_EQ(rotation[0].commands,
            (Texts{"GS 12 40 0 0", "GS 12 45 1 0", "GS 12 41 1 0", "GS 12 42 0 0", "GS 12 43 0 0",
                   "GS 12 44 0 0", "GS 12 46 1 0", "GS 12 47 1 0", "GS 12 48 1 0", "GS 12 49 1 0",
                   "TP 'statesheet=QZ_Studio_TX' '1' 'StA_Floor'",
                   "TP 'statesheet=QZ_Studio_TX' '1' 'StC_Floor'",
                   "TP 'statesheet=QZ_Studio_TX' '1' 'StC_News'"}));
  EXPECT_EQ(rotation[1].commands,
            (Texts{"GS 12 40 0 0", "GS 12 45 0 0", "GS 12 41 0 0", "GS 12 42 0 0", "GS 12 43 0 0",
                   "GS 12 44 0 0", "GS 12 46 0 0", "GS 12 47 0 0", "GS 12 48 0 0", "GS 12 49 0 0",
                   "TP 'statesheet=QZ_Studio_OFF' '1' 'StA_Floor'",
                   "TP 'statesheet=QZ_Studio_OFF' '1' 'StC_Floor'",
                   "TP 'statesheet=QZ_Studio_OFF' '1' 'StC_News'"}));
  EXPECT_TRUE(rotation[0].reply.empty());
}

TEST_F(ScenariosTest, OtherEventsSendTheirCommandsOrReply) {
  EXPECT_EQ(scenario("router_readout").rotation().at(0).commands,
            (Texts{"TP 'text=12' '1' 'vls_id'", "TP 'text=CAM 1 Studio A' '1' 'vls_name'"}));
  EXPECT_EQ(
      scenario("slot4_mode").rotation().at(0).commands,
      (Texts{"GS 12 40 0 0", "GS 12 45 1 0", "TP 'statesheet=QZ_Studio_TX' '1' 'StA_Floor'"}));
  EXPECT_EQ(scenario("event_id").rotation().at(0).commands, (Texts{"ET 5"}));

  const Recorded& request = scenario("request").rotation().at(0);
  EXPECT_TRUE(request.commands.empty());
  EXPECT_EQ(request.reply, "myParam=abc");
}

// A rotation that did not bring the panel back would measure a studio that
// no longer changes: each delivery must send all it sent when recorded.
TEST_F(ScenariosTest, EveryDeliveryAndReplaySendsWhatWasRecorded) {
  for (const auto& measured : scenarios_) {
    std::size_t per_round = 0;
    for (const Recorded& recorded : measured->rotation()) per_round += recorded.commands.size();
    const CountingHost& host = measured->panel().host();
    const std::size_t before = host.executed();
    const std::size_t rounds = 3;
    for (std::size_t i = 0; i < rounds * measured->rotation().size(); ++i) measured->deliverNext();
    EXPECT_EQ(host.executed() - before, rounds * per_round) << measured->id();
    for (std::size_t i = 0; i < rounds * measured->rotation().size(); ++i) measured->replayNext();
    EXPECT_EQ(host.executed() - before, 2 * rounds * per_round) << measured->id();
  }
}

// Through the tap, the twin panel gets the very same commands.
TEST_F(ScenariosTest, EveryDeliveryThroughTheTapSendsWhatWasRecorded) {
  for (const auto& measured : scenarios_) {
    std::size_t per_round = 0;
    for (const Recorded& recorded : measured->rotation()) per_round += recorded.commands.size();
    const CountingHost& host = measured->tappedPanel().host();
    const std::size_t before = host.executed();
    const std::size_t replies_before = host.repliesRead();
    for (std::size_t i = 0; i < 3 * measured->rotation().size(); ++i) {
      measured->deliverNextThroughTap();
    }
    EXPECT_EQ(host.executed() - before, 3 * per_round) << measured->id();
    EXPECT_EQ(host.repliesRead() - replies_before, measured->id() == "request" ? 3u : 0u);
  }
}

TEST_F(ScenariosTest, RequestAndItsReplayHandTheHostOneReplyEach) {
  Scenario& request = scenario("request");
  const CountingHost& host = request.panel().host();
  const std::size_t before = host.repliesRead();
  request.deliverNext();
  request.replayNext();
  EXPECT_EQ(host.repliesRead() - before, 2u);
}

}  // namespace
}  // namespace drezbench
