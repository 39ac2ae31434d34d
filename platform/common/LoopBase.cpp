#include "platform/common/LoopBase.h"

#include <poll.h>

#include <cerrno>
#include <utility>

#include "platform/Error.h"

namespace platform {

void LoopBase::Post(Task task) {
  std::lock_guard<std::mutex> lock(m_postMutex);
  m_posted.push_back(std::move(task));
}

TimerId LoopBase::SetTimer(Millis delay, bool periodic, Task task) {
  if (delay < Millis(0)) delay = Millis(0);
  // A periodic timer of 0 would starve the loop.
  Millis period = periodic && delay < Millis(1) ? Millis(1) : delay;
  TimerId id = m_nextId++;
  Millis due = Now() + delay;
  m_timers.emplace(id, Timer{due, period, periodic, std::move(task)});
  m_order.emplace(std::make_pair(due, id), id);
  return id;
}

void LoopBase::KillTimer(TimerId id) {
  auto it = m_timers.find(id);
  if (it == m_timers.end()) return;
  m_order.erase({it->second.due, id});
  m_timers.erase(it);
}

bool LoopBase::HasPosted() {
  std::lock_guard<std::mutex> lock(m_postMutex);
  return !m_posted.empty();
}

const Millis* LoopBase::NextDue() const {
  if (m_order.empty()) return nullptr;
  const_cast<LoopBase*>(this)->m_nextDueCache = m_order.begin()->first.first;
  return &m_nextDueCache;
}

bool LoopBase::RunOneDueTimer(Millis now) {
  if (m_order.empty() || m_order.begin()->first.first > now) return false;
  TimerId id = m_order.begin()->second;
  m_order.erase(m_order.begin());
  auto it = m_timers.find(id);
  Task task;
  if (it->second.periodic) {
    // Rearmed before the call, so the task may kill it.
    it->second.due = now + it->second.period;
    m_order.emplace(std::make_pair(it->second.due, id), id);
    task = it->second.task;
  } else {
    // Disarmed before the call: the task may pump events.
    task = std::move(it->second.task);
    m_timers.erase(it);
  }
  task();
  return true;
}

bool LoopBase::RunOnePosted() {
  Task task;
  {
    std::lock_guard<std::mutex> lock(m_postMutex);
    if (m_posted.empty()) return false;
    task = std::move(m_posted.front());
    m_posted.pop_front();
  }
  task();
  return true;
}

void LoopBase::RunPending() {
  // Only what is there now: tasks posted meanwhile wait for the next turn, so
  // a task that reposts itself cannot spin here forever. Descriptors are
  // looked at without waiting.
  PollWatched(0);
  std::size_t count;
  {
    std::lock_guard<std::mutex> lock(m_postMutex);
    count = m_posted.size();
  }
  for (std::size_t i = 0; i < count && RunOnePosted(); ++i) {
  }
  Millis now = Now();
  std::size_t dueCount = 0;
  for (auto& entry : m_order) {
    if (entry.first.first > now) break;
    ++dueCount;
  }
  for (std::size_t i = 0; i < dueCount && RunOneDueTimer(now); ++i) {
  }
}

void LoopBase::Run() {
  m_runs.push_back(false);
  const std::size_t mine = m_runs.size() - 1;
  RunStarting();
  try {
    while (!m_runs[mine] && !m_ending) {
      if (RunOnePosted()) continue;
      if (RunOneDueTimer(Now())) continue;
      if (m_runs[mine] || m_ending) break;
      WaitForWork(NextDue());
    }
  } catch (...) {
    m_runs.resize(mine);
    RunEnded();
    throw;
  }
  m_runs.resize(mine);
  RunEnded();
}

bool LoopBase::PollWatched(int timeoutMs, int wakeFd) {
  std::vector<pollfd> fds;
  if (wakeFd >= 0) fds.push_back({wakeFd, POLLIN, 0});
  for (auto& entry : m_watched) fds.push_back({entry.first, POLLIN, 0});
  if (fds.empty()) return false;
  const int n = poll(fds.data(), fds.size(), timeoutMs);
  if (n < 0) {
    if (errno == EINTR) return false;
    throw Error("The event loop cannot wait for events.");
  }
  bool woken = false;
  for (const auto& fd : fds) {
    if (!fd.revents) continue;
    if (fd.fd == wakeFd) {
      woken = true;
      continue;
    }
    auto it = m_watched.find(fd.fd);
    if (it == m_watched.end()) continue;
    Task task = it->second;  // the task may unwatch itself
    task();
  }
  return woken;
}

void LoopBase::EndAll() {
  m_ending = true;
  // Wakes a run that waits for work; the posted task itself does nothing.
  Post([] {});
}

void LoopBase::Quit() {
  if (!m_runs.empty()) m_runs.back() = true;
}

}  // namespace platform
