#include "platform/fake/FakeProcesses.h"

namespace platform {

int FakeProcesses::Start(const std::string& commandLine, bool minimized) {
  return Launch(commandLine, SplitCommandLine(commandLine), minimized);
}

int FakeProcesses::StartProgram(const std::vector<std::string>& argv, bool minimized) {
  return Launch(JoinCommandLine(argv), argv, minimized);
}

int FakeProcesses::Launch(const std::string& commandLine, const std::vector<std::string>& argv,
                          bool minimized) {
  const int pid = m_startable && !argv.empty() && !argv[0].empty() ? m_nextPid++ : 0;
  m_started.push_back({commandLine, argv, minimized, pid});
  if (pid == 0) return 0;
  m_runs[pid] = {m_polls, m_exitCode};
  if (m_onStart) m_onStart(commandLine);
  return pid;
}

bool FakeProcesses::Finished(int pid, int* exitCode) {
  auto it = m_runs.find(pid);
  if (it == m_runs.end()) {
    if (exitCode) *exitCode = -1;
    return true;
  }
  if (it->second.pollsLeft > 0) {
    --it->second.pollsLeft;
    return false;
  }
  if (exitCode) *exitCode = it->second.exitCode;
  return true;
}

bool FakeProcesses::WaitForOpen(int pid, const std::string& /*path*/, int /*timeoutMs*/) {
  return m_runs.count(pid) > 0;
}

}  // namespace platform
