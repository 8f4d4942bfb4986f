// The host thread's queue: work runs there, in order, and nobody waits for
// ever once it stops.

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "serve/host_thread.h"

namespace {

using namespace drezhost;

TEST(HostThread, RunsWorkOnItsOwnThreadInOrderAndGivesBackResults) {
  HostThread host;
  const std::thread::id hostId = std::this_thread::get_id();
  std::vector<int> order;
  std::thread client([&] {
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(host.call([&, i] {
        EXPECT_EQ(std::this_thread::get_id(), hostId);
        order.push_back(i);
        return i * 10;
      }),
                i * 10);
    }
    EXPECT_THROW(host.call([]() -> int { throw std::runtime_error("refused"); }),
                 std::runtime_error);
    host.stop();
  });
  host.run([] { return false; });
  client.join();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(HostThread, RefusesWorkOnceStoppedAndWakesWhoWaits) {
  HostThread host;
  std::atomic<bool> stop{false};
  std::thread waiting([&] {
    EXPECT_THROW(host.call([&] {
      stop = true;  // the stop request comes while this runs
      return 0;
    }),
                 HostStopped)
        << "or it ran";
  });
  // The first call is dropped unrun when the flag says stop before it runs.
  stop = true;
  host.run([&] { return stop.load(); });
  waiting.join();
  EXPECT_THROW(host.call([] { return 1; }), HostStopped);
}

}  // namespace
