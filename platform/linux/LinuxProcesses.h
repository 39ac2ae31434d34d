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
  // Watches the file for opens (inotify) and looks at what the process holds
  // (/proc), until one of them shows the file taken.
  bool WaitForOpen(int pid, const std::string& path, int timeoutMs) override;

 private:
  void ReapEnded();
  bool Running(int pid);

  std::mutex m_mutex;
  std::set<int> m_running;
  std::map<int, int> m_ended;  // pid -> exit code, until asked for
};

}  // namespace platform
