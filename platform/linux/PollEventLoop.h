#pragma once
// The real loop: a steady clock, and poll() on watched descriptors and a
// wake-up descriptor for tasks posted from other threads.
#include <chrono>

#include "platform/common/LoopBase.h"

namespace platform {

class PollEventLoop : public LoopBase {
 public:
  PollEventLoop();
  ~PollEventLoop() override;

  Millis Now() const override;
  void Post(Task task) override;

 protected:
  void WaitForWork(const Millis* next) override;

 private:
  std::chrono::steady_clock::time_point m_start;
  int m_wake = -1;
};

}  // namespace platform
