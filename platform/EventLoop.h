#pragma once
// The single UI thread's loop. Every add-in handler runs on it; platform
// threads (audio devices) hand their notifications over with Post, the one
// member that may be called from another thread.
//
// Re-entrancy: RunPending and Run may be called from inside a task or timer
// (the message pump inside a wait, a modal box). Run loops form a stack and
// Quit ends only the innermost one. A one-shot timer is disarmed before its
// task runs, because the task may pump events and must not see it fire again.
#include <chrono>
#include <cstdint>
#include <functional>

namespace platform {

using Millis = std::chrono::milliseconds;
using Task = std::function<void()>;
using TimerId = std::uint64_t;  // never 0

class EventLoop {
 public:
  virtual ~EventLoop() = default;

  // Milliseconds since the loop's clock started.
  virtual Millis Now() const = 0;

  // Queues a task; thread-safe.
  virtual void Post(Task task) = 0;

  virtual TimerId SetTimer(Millis delay, bool periodic, Task task) = 0;
  // Unknown, fired or killed ids are ignored.
  virtual void KillTimer(TimerId id) = 0;

  // Runs what is queued now and what has fallen due, once; does not wait.
  virtual void RunPending() = 0;

  // Runs tasks and timers until the matching Quit. A virtual-time loop
  // advances its clock to the next timer when idle, and throws platform::Error
  // when nothing is left that could ever end the loop (the watchdog).
  virtual void Run() = 0;
  virtual void Quit() = 0;
  // Depth of nested Run calls now active.
  virtual int Depth() const = 0;

  // The host is ending: every Run now active returns once control is back in
  // it, and every later Run returns at once. Thread-safe. A wait that pumps
  // with RunPending (the encoder, a capture loop) checks Ending and gives up.
  virtual void EndAll() = 0;
  virtual bool Ending() const = 0;

  // Runs `task` on the loop whenever `fd` is readable (or at end of file);
  // the task must read, or unwatch, or it runs again at once. A loop on
  // virtual time looks at its descriptors at each turn without waiting.
  virtual void WatchReadable(int fd, Task task) = 0;
  virtual void Unwatch(int fd) = 0;
};

}  // namespace platform
