#pragma once
// A loop on virtual time: the clock moves only by AdvanceBy, or when Run is
// idle and jumps to the next timer. 45 minutes pass in no time, in order.
#include "platform/common/LoopBase.h"

namespace platform {

class VirtualEventLoop : public LoopBase {
 public:
  Millis Now() const override { return m_now; }

  // Runs, in order of their due time, everything that falls due within
  // `duration`, with the clock set to each timer's due time as it runs.
  void AdvanceBy(Millis duration);

  // Watchdog of Run: a run that would move the clock further than this fails.
  void SetRunLimit(Millis limit) { m_runLimit = limit; }

 protected:
  void WaitForWork(const Millis* next) override;
  void RunStarting() override { m_runStarts.push_back(m_now); }
  void RunEnded() override { m_runStarts.pop_back(); }

 private:
  Millis m_now{0};
  Millis m_runLimit{std::chrono::hours(24)};
  std::vector<Millis> m_runStarts;
};

}  // namespace platform
