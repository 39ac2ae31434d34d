#include <gtest/gtest.h>

#include <thread>

#include "platform/Error.h"
#include "platform/fake/VirtualEventLoop.h"
#include "platform/linux/PollEventLoop.h"

namespace {

using platform::Millis;

TEST(VirtualEventLoopTest, TimersFireInOrderOfDueTimeWithTheClockAtTheirDue) {
  platform::VirtualEventLoop loop;
  std::vector<std::pair<std::string, long>> fired;
  loop.SetTimer(Millis(500), false, [&] { fired.push_back({"save", loop.Now().count()}); });
  loop.SetTimer(Millis(50), false, [&] { fired.push_back({"pause", loop.Now().count()}); });
  auto tick = loop.SetTimer(Millis(1000), true, [&] {
    fired.push_back({"tick", loop.Now().count()});
  });
  loop.AdvanceBy(Millis(2000));
  loop.KillTimer(tick);
  loop.AdvanceBy(std::chrono::minutes(45));
  EXPECT_EQ(fired, (std::vector<std::pair<std::string, long>>{
                       {"pause", 50}, {"save", 500}, {"tick", 1000}, {"tick", 2000}}));
  EXPECT_EQ(loop.Now(), Millis(2000) + std::chrono::minutes(45));
}

TEST(VirtualEventLoopTest, OneShotIsDisarmedBeforeItsTaskPumps) {
  platform::VirtualEventLoop loop;
  int runs = 0;
  loop.SetTimer(Millis(10), false, [&] {
    ++runs;
    loop.RunPending();  // a nested pump must not fire this timer again
    loop.AdvanceBy(Millis(10));
  });
  loop.AdvanceBy(Millis(100));
  EXPECT_EQ(runs, 1);
}

TEST(VirtualEventLoopTest, NestedRunsQuitOnlyThemselvesAndTheWatchdogFires) {
  platform::VirtualEventLoop loop;
  std::vector<int> order;
  loop.SetTimer(Millis(10), false, [&] {
    order.push_back(loop.Depth());
    loop.SetTimer(Millis(10), false, [&] {
      order.push_back(loop.Depth());
      loop.Quit();  // ends the inner run only
    });
    loop.Run();
    order.push_back(loop.Depth());
    loop.Quit();
  });
  loop.Run();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 1}));
  EXPECT_EQ(loop.Depth(), 0);

  // Nothing left that could end the run: the loop says so instead of hanging.
  EXPECT_THROW(loop.Run(), platform::Error);
  loop.SetRunLimit(Millis(1000));
  loop.SetTimer(std::chrono::hours(1), false, [] {});
  EXPECT_THROW(loop.Run(), platform::Error);
  EXPECT_EQ(loop.Depth(), 0);
}

TEST(PollEventLoopTest, TasksPostedFromAnotherThreadWakeTheLoop) {
  platform::PollEventLoop loop;
  int got = 0;
  std::thread worker([&] {
    loop.Post([&] {
      got = 7;
      loop.Quit();
    });
  });
  loop.Run();
  worker.join();
  EXPECT_EQ(got, 7);

  bool fired = false;
  loop.SetTimer(Millis(5), false, [&] {
    fired = true;
    loop.Quit();
  });
  loop.Run();
  EXPECT_TRUE(fired);
}

}  // namespace
