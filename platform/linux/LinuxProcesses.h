#pragma once
// Programs started with posix_spawn. Children are reaped as they end, so that
// one left running (an installer) or never asked about leaves no zombie
// behind for longer than the next call.
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/Processes.h"

namespace platform {

class LinuxProcesses : public Processes {
 public:
  int Start(const std::string& commandLine, bool minimized) override;
  bool Finished(int pid, int* exitCode) override;

  // The words a command line splits into: runs of blanks separate, double
  // quotes group (and are dropped), as the desktop system's start-up code does
  // for the simple cases.
  static std::vector<std::string> Split(const std::string& commandLine);

 private:
  void ReapEnded();

  std::mutex m_mutex;
  std::set<int> m_running;
  std::map<int, int> m_ended;  // pid -> exit code, until asked for
};

}  // namespace platform
