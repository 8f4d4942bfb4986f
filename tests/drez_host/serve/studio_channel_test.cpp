// The way from the HTTP threads to the studio: one request at a time, in
// order, each caller woken with its answer or with the reason there is none.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "serve/studio_channel.h"

namespace {

using namespace drezhost;

TEST(StudioChannel, AnswersEachRequestInOrder) {
  StudioChannel channel;
  std::vector<std::string> answers;
  std::thread client([&] {
    for (const char* request : {"one", "two", "three"}) answers.push_back(channel.call(request));
    channel.stop();
  });
  std::vector<std::string> seen;
  std::optional<std::string> answer;  // the studio's first answer goes to no request
  while (std::optional<std::string> request = channel.next(answer, [] { return false; })) {
    seen.push_back(*request);
    answer = "answer to " + *request;
  }
  client.join();
  EXPECT_EQ(seen, (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(answers,
            (std::vector<std::string>{"answer to one", "answer to two", "answer to three"}));
}

TEST(StudioChannel, WakesEveryCallerWhenTheStudioEndsOrDrezHostStops) {
  StudioChannel channel;
  std::string why;
  std::thread first([&] {
    try {
      channel.call("crash");
    } catch (const StudioUnavailable& error) {
      why = error.what();
    }
  });
  std::optional<std::string> request = channel.next(std::nullopt, [] { return false; });
  ASSERT_EQ(request, "crash");
  channel.studioEnded("the studio crashed: signal 11");
  first.join();
  EXPECT_EQ(why, "the studio crashed: signal 11");

  // Told to stop (a signal's flag), it drops what waits, and takes no more:
  // the late caller wakes whether it came before the stop or after.
  std::thread waiting([&] { EXPECT_THROW(channel.call("late"), StudioUnavailable); });
  EXPECT_EQ(channel.next(std::nullopt, [] { return true; }), std::nullopt);
  EXPECT_TRUE(channel.stopped());
  waiting.join();
  EXPECT_THROW(channel.call("after"), StudioUnavailable);
}

}  // namespace
