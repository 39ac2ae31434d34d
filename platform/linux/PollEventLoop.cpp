#include "platform/linux/PollEventLoop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "platform/Error.h"

namespace platform {

PollEventLoop::PollEventLoop() : m_start(std::chrono::steady_clock::now()) {
  m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_wake < 0) throw Error("Cannot create the event loop's wake-up descriptor.");
}

PollEventLoop::~PollEventLoop() {
  if (m_wake >= 0) close(m_wake);
}

Millis PollEventLoop::Now() const {
  return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now() - m_start);
}

void PollEventLoop::Post(Task task) {
  LoopBase::Post(std::move(task));
  std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(m_wake, &one, sizeof one);
}

void PollEventLoop::WaitForWork(const Millis* next) {
  if (HasPosted()) return;
  int timeout = -1;
  if (next) {
    auto left = (*next - Now()).count();
    timeout = left < 0 ? 0 : static_cast<int>(left);
  }
  if (PollWatched(timeout, m_wake)) {
    std::uint64_t count;
    [[maybe_unused]] ssize_t r = read(m_wake, &count, sizeof count);
  }
}

}  // namespace platform
