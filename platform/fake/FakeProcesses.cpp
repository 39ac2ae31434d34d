#include "platform/fake/FakeProcesses.h"

namespace platform {

namespace {
constexpr int kSigKill = 9;
}  // namespace

int FakeProcesses::Start(const std::string& commandLine, bool minimized) {
  return Launch(commandLine, SplitCommandLine(commandLine), minimized, true);
}

int FakeProcesses::StartProgram(const std::vector<std::string>& argv, bool minimized) {
  return Launch(JoinCommandLine(argv), argv, minimized, false);
}

int FakeProcesses::Launch(const std::string& commandLine, const std::vector<std::string>& argv,
                          bool minimized, bool keepErrors) {
  const int pid = m_startable && !argv.empty() && !argv[0].empty() ? m_nextPid++ : 0;
  m_started.push_back({commandLine, argv, minimized, pid});
  if (pid == 0) return 0;
  Run run{m_polls, m_exit};
  if (!keepErrors) run.exit.errorText.clear();
  m_runs[pid] = std::move(run);
  if (m_onStart) m_onStart(commandLine);
  return pid;
}

bool FakeProcesses::Finished(int pid, ExitStatus* status) {
  auto it = m_runs.find(pid);
  if (it == m_runs.end()) {
    if (status) *status = ExitStatus{};
    return true;
  }
  if (it->second.pollsLeft > 0) {
    --it->second.pollsLeft;
    return false;
  }
  if (status) *status = it->second.exit;
  return true;
}

bool FakeProcesses::Kill(int pid) {
  auto it = m_runs.find(pid);
  if (it == m_runs.end() || it->second.pollsLeft <= 0) return false;
  it->second.pollsLeft = 0;
  it->second.exit.signal = kSigKill;
  it->second.exit.code = 128 + kSigKill;
  it->second.exit.errorText.clear();
  m_killed.push_back(pid);
  return true;
}

bool FakeProcesses::WaitForOpen(int pid, const std::string& /*path*/, int /*timeoutMs*/) {
  return m_runs.count(pid) > 0;
}

}  // namespace platform
