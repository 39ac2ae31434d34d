#pragma once
// Programs started with posix_spawn, each in a process group of its own so
// that Kill reaches what it started. Children are reaped as they end, so that
// one left running (an installer) or never asked about leaves no zombie
// behind for longer than the next call. The standard error that Start keeps
// goes to an unnamed temporary file, which a chatty program cannot block on
// the way it could on a pipe nobody reads.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Processes.h"

namespace platform {

class LinuxProcesses : public Processes {
 public:
  int Start(const std::string& commandLine, bool minimized) override;
  int StartProgram(const std::vector<std::string>& argv, bool minimized) override;
  ~LinuxProcesses() override;
  bool Finished(int pid, ExitStatus* status) override;
  // SIGKILL to the child's process group, then the child is reaped.
  bool Kill(int pid) override;
  // Watches the file for opens (inotify) and looks at what the process holds
  // (/proc), until one of them shows the file taken.
  bool WaitForOpen(int pid, const std::string& path, int timeoutMs) override;

 private:
  int Spawn(const std::vector<std::string>& argv, bool keepErrors);
  void ReapEnded();
  // Moves a reaped child from running to ended; `status` as waitpid gives it,
  // or -1 when someone else reaped it.
  void Ended(int pid, int status);
  bool Running(int pid);

  std::mutex m_mutex;
  std::map<int, int> m_running;       // pid -> its kept standard error's file, or -1
  std::map<int, ExitStatus> m_ended;  // until asked for
};

}  // namespace platform
