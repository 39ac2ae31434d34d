// The event loop's contract, on the real clock and on virtual time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/Error.h"
#include "platform/fake/VirtualEventLoop.h"
#include "platform/linux/PollEventLoop.h"
#include "tests/support/ContractTest.h"

namespace {

using platform::Millis;
using Trace = std::vector<std::string>;

struct PollLoop {
  static constexpr const char* kName = "Poll";
  platform::PollEventLoop loop;
  // Lets at least `duration` of real time pass, serving what falls due.
  void Pass(Millis duration) {
    const Millis end = loop.Now() + duration;
    while (loop.Now() < end) {
      std::this_thread::sleep_for(Millis(1));
      loop.RunPending();
    }
    loop.RunPending();
  }
};

struct VirtualLoop {
  static constexpr const char* kName = "Virtual";
  platform::VirtualEventLoop loop;
  void Pass(Millis duration) { loop.AdvanceBy(duration); }
};

template <typename Backend>
class EventLoopContract : public ::testing::Test {
 protected:
  Backend backend;
  platform::EventLoop& Loop() { return backend.loop; }
};
SONVERA_CONTRACT_SUITE(EventLoopContract, PollLoop, VirtualLoop);

TYPED_TEST(EventLoopContract, TimersFireByDueTimeAndPeriodicOnesUntilKilled) {
  auto& loop = this->Loop();
  Trace fired;
  const Millis start = loop.Now();
  const auto late = loop.SetTimer(Millis(30), false, [&] { fired.push_back("late"); });
  loop.SetTimer(Millis(10), false, [&] { fired.push_back("early"); });
  int ticks = 0;
  const auto tick = loop.SetTimer(Millis(20), true, [&] { ++ticks; });
  // Each window longer than the period holds at least one tick, however late
  // the machine serves it.
  for (int window = 1; window <= 3; ++window) {
    this->backend.Pass(Millis(25));
    EXPECT_GE(ticks, window);
  }
  EXPECT_EQ(fired, (Trace{"early", "late"})) << "each one-shot fires once, the earlier first";
  EXPECT_GE(loop.Now() - start, Millis(75));

  loop.KillTimer(tick);
  loop.KillTimer(late);  // already fired: ignored
  loop.KillTimer(0);
  const int ticksWhenKilled = ticks;
  this->backend.Pass(Millis(50));
  EXPECT_EQ(ticks, ticksWhenKilled) << "a killed periodic timer fired again";
}

TYPED_TEST(EventLoopContract, TimersMayKillThemselvesAndOneShotsArePastBeforeTheyPump) {
  auto& loop = this->Loop();
  int periodicRuns = 0;
  platform::TimerId periodic = 0;
  periodic = loop.SetTimer(Millis(5), true, [&] {
    ++periodicRuns;
    loop.KillTimer(periodic);
  });
  int oneShotRuns = 0;
  loop.SetTimer(Millis(5), false, [&] {
    ++oneShotRuns;
    // A task that pumps (a wait, a modal box) must not see its own timer again.
    loop.RunPending();
    this->backend.Pass(Millis(20));
  });
  this->backend.Pass(Millis(60));
  EXPECT_EQ(periodicRuns, 1);
  EXPECT_EQ(oneShotRuns, 1);
}

TYPED_TEST(EventLoopContract, RunPendingRunsWhatIsThereNowAndDoesNotWait) {
  auto& loop = this->Loop();
  Trace ran;
  loop.SetTimer(std::chrono::hours(1), false, [&] { ran.push_back("not due"); });
  std::function<void()> again = [&] {
    ran.push_back("repost");
    loop.Post(again);
  };
  loop.Post(again);
  loop.Post([&] { ran.push_back("second"); });
  loop.RunPending();
  EXPECT_EQ(ran, (Trace{"repost", "second"}));
  loop.RunPending();
  EXPECT_EQ(ran, (Trace{"repost", "second", "repost"})) << "a reposted task waits a turn";
}

TYPED_TEST(EventLoopContract, TasksPostedFromOtherThreadsRunOnTheLoopInTheirOrder) {
  auto& loop = this->Loop();
  const auto loopThread = std::this_thread::get_id();
  std::vector<int> fromA, fromB;
  bool allOnLoop = true;
  auto poster = [&](std::vector<int>& into) {
    for (int i = 0; i < 200; ++i)
      loop.Post([&, i] {
        allOnLoop = allOnLoop && std::this_thread::get_id() == loopThread;
        into.push_back(i);
      });
  };
  std::thread a(poster, std::ref(fromA)), b(poster, std::ref(fromB));
  a.join();
  b.join();
  loop.Post([&] { loop.Quit(); });
  loop.Run();
  std::vector<int> expected(200);
  for (int i = 0; i < 200; ++i) expected[i] = i;
  EXPECT_EQ(fromA, expected);
  EXPECT_EQ(fromB, expected);
  EXPECT_TRUE(allOnLoop);
}

TYPED_TEST(EventLoopContract, NestedRunsFormAStackAndQuitEndsOnlyTheInnermost) {
  auto& loop = this->Loop();
  std::vector<int> depths;
  loop.Quit();  // no run: nothing to end, and the next run is not ended early
  loop.SetTimer(Millis(5), false, [&] {
    depths.push_back(loop.Depth());
    loop.SetTimer(Millis(5), false, [&] {
      depths.push_back(loop.Depth());
      loop.Quit();
    });
    loop.Run();
    depths.push_back(loop.Depth());
    loop.Post([&] { loop.Quit(); });
  });
  loop.Run();
  EXPECT_EQ(depths, (std::vector<int>{1, 2, 1}));
  EXPECT_EQ(loop.Depth(), 0);
}

// The host's exit while a box waits inside a long wait: every run ends, and
// a run begun afterwards does not wait.
TYPED_TEST(EventLoopContract, EndAllUnwindsEveryNestedRunAndLaterRunsReturnAtOnce) {
  auto& loop = this->Loop();
  std::vector<int> depths;
  const auto far = loop.SetTimer(std::chrono::hours(2), false, [] {});
  loop.SetTimer(Millis(5), false, [&] {
    loop.SetTimer(Millis(5), false, [&] { loop.EndAll(); });
    loop.Run();  // the box: ended by EndAll, not by a Quit of its own
    depths.push_back(loop.Depth());
  });
  loop.Run();
  depths.push_back(loop.Depth());
  EXPECT_TRUE(loop.Ending());
  loop.Run();
  EXPECT_EQ(depths, (std::vector<int>{1, 0}));
  loop.KillTimer(far);
}

// Another program's change (the Maildir's inotify descriptor) reaches the
// loop on either clock, and an unwatched descriptor is left alone.
TYPED_TEST(EventLoopContract, WatchedDescriptorsRunTheirTaskWhenReadable) {
  auto& loop = this->Loop();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string got;
  loop.WatchReadable(fds[0], [&] {
    char c;
    if (read(fds[0], &c, 1) == 1) got += c;
    if (c == 'b') loop.Quit();
  });
  ASSERT_EQ(write(fds[1], "a", 1), 1);
  loop.RunPending();
  EXPECT_EQ(got, "a");
  ASSERT_EQ(write(fds[1], "b", 1), 1);
  loop.SetTimer(Millis(1), false, [] {});
  loop.Run();
  EXPECT_EQ(got, "ab");
  loop.Unwatch(fds[0]);
  ASSERT_EQ(write(fds[1], "c", 1), 1);
  loop.RunPending();
  EXPECT_EQ(got, "ab");
  close(fds[0]);
  close(fds[1]);
}

TEST(VirtualEventLoop, RunThatNothingCouldEndThrowsInsteadOfHanging) {
  platform::VirtualEventLoop loop;
  EXPECT_THROW(loop.Run(), platform::Error);
  loop.SetRunLimit(Millis(1000));
  loop.SetTimer(std::chrono::hours(1), false, [] {});
  EXPECT_THROW(loop.Run(), platform::Error);
  EXPECT_EQ(loop.Depth(), 0) << "a failed run stays on the stack";
}

TEST(PollEventLoop, PostFromAnotherThreadWakesAWaitingRun) {
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
  // The host's exit comes from a server thread, too.
  std::thread ender([&] { loop.EndAll(); });
  loop.Run();
  ender.join();
  EXPECT_TRUE(loop.Ending());
}

}  // namespace
