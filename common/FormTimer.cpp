#include "common/FormTimer.h"

#include "common/Routine.h"
#include "platform/Platform.h"

namespace sonvera {

void FormTimer::SetInterval(int milliseconds) {
  m_interval = milliseconds;
  if (m_enabled) Arm();
}

void FormTimer::SetEnabled(bool enabled) {
  m_enabled = enabled;
  if (enabled)
    Arm();
  else
    Stop();
}

void FormTimer::Stop() {
  if (m_timer != 0) IgnoreErrors([&] { platform::GetLoop().KillTimer(m_timer); });
  m_timer = 0;
}

void FormTimer::Arm() {
  Stop();
  // A timer control with interval 0 never fires.
  if (m_interval <= 0) return;
  m_timer = platform::GetLoop().SetTimer(platform::Millis(m_interval), true, [this] {
    // The handler may disable, re-arm or unload the form that owns this timer.
    auto onTimer = m_onTimer;
    onTimer();
  });
}

}  // namespace sonvera
