#pragma once
// What the real and the virtual loop share: the posted-task queue, the timer
// queue and the stack of nested runs. They differ only in their clock and in
// how they wait when nothing is due.
#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "platform/EventLoop.h"

namespace platform {

class LoopBase : public EventLoop {
 public:
  void Post(Task task) override;
  TimerId SetTimer(Millis delay, bool periodic, Task task) override;
  void KillTimer(TimerId id) override;
  void RunPending() override;
  void Run() override;
  void Quit() override;
  int Depth() const override { return static_cast<int>(m_runs.size()); }
  void EndAll() override;
  bool Ending() const override { return m_ending; }
  void WatchReadable(int fd, Task task) override { m_watched[fd] = std::move(task); }
  void Unwatch(int fd) override { m_watched.erase(fd); }

 protected:
  // Blocks (or, for virtual time, advances the clock) until something may be
  // due; `next` is the earliest timer, if any.
  virtual void WaitForWork(const Millis* next) = 0;
  // Around each (possibly nested) Run.
  virtual void RunStarting() {}
  virtual void RunEnded() {}
  // True when a posted task waits.
  bool HasPosted();
  const Millis* NextDue() const;
  // Runs the earliest timer due at or before `now`; false when none is.
  bool RunOneDueTimer(Millis now);
  bool RunOnePosted();
  bool HasTimers() const { return !m_order.empty(); }
  // Waits up to `timeoutMs` (-1: for ever, 0: not at all) for a watched
  // descriptor or `wakeFd` (-1: none) to become readable, then runs the tasks
  // of the readable ones; true when `wakeFd` was.
  bool PollWatched(int timeoutMs, int wakeFd = -1);

 private:
  struct Timer {
    Millis due;
    Millis period;
    bool periodic;
    Task task;
  };
  std::mutex m_postMutex;
  std::deque<Task> m_posted;
  std::map<TimerId, Timer> m_timers;
  std::map<std::pair<Millis, TimerId>, TimerId> m_order;  // (due, id): firing order
  TimerId m_nextId = 1;
  std::vector<bool> m_runs;  // quit flags of the nested runs, innermost last
  std::atomic<bool> m_ending{false};
  std::map<int, Task> m_watched;
  Millis m_nextDueCache{};
};

}  // namespace platform
