#pragma once
// The real loop: a steady clock, and poll() on watched descriptors and a
// wake-up descriptor for tasks posted from other threads.
#include <chrono>
#include <map>

#include "platform/common/LoopBase.h"

namespace platform {

class PollEventLoop : public LoopBase {
 public:
  PollEventLoop();
  ~PollEventLoop() override;

  Millis Now() const override;
  void Post(Task task) override;

  // Runs `task` on the loop whenever `fd` is readable (or at end of file);
  // the task must read, or unwatch, or it runs again at once.
  void WatchReadable(int fd, Task task);
  void Unwatch(int fd);

 protected:
  void WaitForWork(const Millis* next) override;

 private:
  std::chrono::steady_clock::time_point m_start;
  int m_wake = -1;
  std::map<int, Task> m_watched;
};

}  // namespace platform
