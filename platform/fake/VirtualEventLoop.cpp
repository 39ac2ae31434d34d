#include "platform/fake/VirtualEventLoop.h"

#include "platform/Error.h"

namespace platform {

void VirtualEventLoop::AdvanceBy(Millis duration) {
  const Millis end = m_now + duration;
  PollWatched(0);
  for (;;) {
    while (RunOnePosted()) {
    }
    const Millis* next = NextDue();
    if (!next || *next > end) break;
    if (*next > m_now) m_now = *next;
    RunOneDueTimer(m_now);
  }
  if (end > m_now) m_now = end;
  while (RunOnePosted()) {
  }
}

void VirtualEventLoop::WaitForWork(const Millis* next) {
  PollWatched(0);
  if (HasPosted()) return;
  if (!next) throw Error("The event loop waits for something that can never happen.");
  if (*next - m_runStarts.back() > m_runLimit) {
    throw Error("The event loop ran past its virtual deadline.");
  }
  if (*next > m_now) m_now = *next;
}

}  // namespace platform
