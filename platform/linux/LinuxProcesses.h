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
  int StartProgram(const std::vector<std::string>& argv, bool minimized) override;
  bool Finished(int pid, int* exitCode) override;

 private:
  void ReapEnded();

  std::mutex m_mutex;
  std::set<int> m_running;
  std::map<int, int> m_ended;  // pid -> exit code, until asked for
};

}  // namespace platform
