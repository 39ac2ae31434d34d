#pragma once
// Deterministic process start: records every command line and hands out
// pids; a scripted number of polls passes before a process has ended.
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/Processes.h"

namespace platform {

class FakeProcesses : public Processes {
 public:
  struct Started {
    std::string commandLine;  // as given, or joined from the argv
    std::vector<std::string> argv;
    bool minimized = false;
    int pid = 0;  // 0: the start failed
  };

  // Starts fail (pid 0) while this is false.
  void SetStartable(bool startable) { m_startable = startable; }
  // Every later process ends after `polls` calls of Finished, with `exitCode`
  // (or by `signal`) and, when started with Start, having said `errorText`.
  void SetRun(int polls, int exitCode, int signal = 0, std::string errorText = {}) {
    m_polls = polls;
    m_exit.code = signal ? 128 + signal : exitCode;
    m_exit.signal = signal;
    m_exit.errorText = std::move(errorText);
  }
  // Called with each command line (or joined argv) that starts, to act as the program would
  // (write its output file, say).
  void OnStart(std::function<void(const std::string&)> action) { m_onStart = std::move(action); }

  int Start(const std::string& commandLine, bool minimized) override;
  int StartProgram(const std::vector<std::string>& argv, bool minimized) override;
  bool Finished(int pid, ExitStatus* status) override;
  // Ends a process that has polls left with SIGKILL (9).
  bool Kill(int pid) override;
  // A started program has done its work in OnStart: its file is no longer needed.
  bool WaitForOpen(int pid, const std::string& path, int timeoutMs) override;

  const std::vector<Started>& Starts() const { return m_started; }
  // The pids Kill ended, in order.
  const std::vector<int>& Killed() const { return m_killed; }

 private:
  int Launch(const std::string& commandLine, const std::vector<std::string>& argv, bool minimized,
             bool keepErrors);

  struct Run {
    int pollsLeft;
    ExitStatus exit;
  };
  bool m_startable = true;
  int m_polls = 0;
  ExitStatus m_exit{0, 0, {}};
  int m_nextPid = 1000;
  std::function<void(const std::string&)> m_onStart;
  std::map<int, Run> m_runs;
  std::vector<Started> m_started;
  std::vector<int> m_killed;
};

}  // namespace platform
