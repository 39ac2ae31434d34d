#pragma once
// What the system says of a process, for tests of programs that must end.
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "tests/support/ScratchFolder.h"

namespace testsupport {

// The state letter in /proc ('R', 'S', 'Z', ...), or 0 when there is no such process.
inline char ProcessState(int pid) {
  const std::string stat = ScratchFolder::Read("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() ? 0 : stat[close + 2];
}

// Ended: gone, or a zombie waiting for its parent.
inline bool Ended(int pid) {
  const char state = ProcessState(pid);
  return state == 0 || state == 'Z';
}

// Polls `done` for up to 30 seconds: a watchdog, not a time limit under test.
inline bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 3000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

}  // namespace testsupport
