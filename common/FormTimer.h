#pragma once
// A form's timer control: while enabled it fires every interval on the UI
// loop. Changing the interval or enabling it again starts the count afresh,
// as the desktop's timer control does.
#include <functional>

#include "platform/EventLoop.h"

namespace sonvera {

class FormTimer {
 public:
  explicit FormTimer(std::function<void()> onTimer) : m_onTimer(std::move(onTimer)) {}
  ~FormTimer() { Stop(); }
  FormTimer(const FormTimer&) = delete;
  FormTimer& operator=(const FormTimer&) = delete;

  void SetInterval(int milliseconds);
  int Interval() const { return m_interval; }
  void SetEnabled(bool enabled);
  bool Enabled() const { return m_enabled; }

 private:
  void Stop();
  void Arm();

  std::function<void()> m_onTimer;
  int m_interval = 0;
  bool m_enabled = false;
  platform::TimerId m_timer = 0;
};

}  // namespace sonvera
