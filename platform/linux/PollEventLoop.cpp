#include "platform/linux/PollEventLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

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

void PollEventLoop::WatchReadable(int fd, Task task) {
  m_watched[fd] = std::move(task);
}

void PollEventLoop::Unwatch(int fd) {
  m_watched.erase(fd);
}

void PollEventLoop::WaitForWork(const Millis* next) {
  if (HasPosted()) return;
  std::vector<pollfd> fds;
  fds.push_back({m_wake, POLLIN, 0});
  for (auto& entry : m_watched) fds.push_back({entry.first, POLLIN, 0});
  int timeout = -1;
  if (next) {
    auto left = (*next - Now()).count();
    timeout = left < 0 ? 0 : static_cast<int>(left);
  }
  int n = poll(fds.data(), fds.size(), timeout);
  if (n < 0) {
    if (errno == EINTR) return;
    throw Error("The event loop cannot wait for events.");
  }
  if (fds[0].revents) {
    std::uint64_t count;
    [[maybe_unused]] ssize_t r = read(m_wake, &count, sizeof count);
  }
  for (std::size_t i = 1; i < fds.size(); ++i) {
    if (!fds[i].revents) continue;
    auto it = m_watched.find(fds[i].fd);
    if (it == m_watched.end()) continue;
    Task task = it->second;  // the task may unwatch itself
    task();
  }
}

}  // namespace platform
