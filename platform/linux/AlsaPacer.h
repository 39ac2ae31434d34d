#pragma once
// Devices without a clock of their own (null, file) take and give samples as
// fast as asked; a real card blocks. Keeping to the wall clock (a little
// ahead, so a card's own clock always leads) makes both run in real time.
#include <algorithm>
#include <chrono>

namespace platform {

class AlsaPacer {
 public:
  using Clock = std::chrono::steady_clock;

  AlsaPacer(unsigned rate, double ahead) : m_rate(rate), m_ahead(ahead) { Restart(0); }
  void Restart(long long frames) {
    m_start = Clock::now();
    m_startFrames = frames;
  }
  // How long to wait before `frames` (counted in all) may be moved.
  Clock::duration Wait(long long frames) const {
    const double due = static_cast<double>(frames - m_startFrames) / m_rate - m_ahead;
    const auto at = m_start + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(std::max(0.0, due) / 1.002));
    const auto now = Clock::now();
    return at > now ? at - now : Clock::duration::zero();
  }

 private:
  unsigned m_rate;
  double m_ahead;
  Clock::time_point m_start;
  long long m_startFrames = 0;
};

}  // namespace platform
