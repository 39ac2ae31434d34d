#include "platform/linux/LinuxProcesses.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

namespace platform {
namespace {

// Exit code reported for a child killed by a signal, as a shell does.
int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

int LinuxProcesses::Start(const std::string& commandLine, bool minimized) {
  return StartProgram(SplitCommandLine(commandLine), minimized);
}

int LinuxProcesses::StartProgram(const std::vector<std::string>& argvIn, bool /*minimized*/) {
  std::vector<std::string> words = argvIn;
  if (words.empty() || words[0].empty()) return 0;
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  // The child must not compete with the host for its standard input.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);

  std::lock_guard lock(m_mutex);
  ReapEnded();
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return 0;
  m_running.insert(pid);
  return pid;
}

bool LinuxProcesses::Finished(int pid, int* exitCode) {
  std::lock_guard lock(m_mutex);
  ReapEnded();
  if (auto ended = m_ended.find(pid); ended != m_ended.end()) {
    if (exitCode) *exitCode = ended->second;
    m_ended.erase(ended);
    return true;
  }
  if (m_running.count(pid)) return false;
  // Not a child of ours (or asked about twice): nothing is running under that
  // id for us to wait for.
  if (exitCode) *exitCode = -1;
  return true;
}

void LinuxProcesses::ReapEnded() {
  for (auto it = m_running.begin(); it != m_running.end();) {
    int status = 0;
    const pid_t got = waitpid(*it, &status, WNOHANG);
    if (got == *it) {
      m_ended[*it] = ExitCodeOf(status);
      it = m_running.erase(it);
    } else if (got < 0 && errno == ECHILD) {
      // Someone else reaped it (a host's SIGCHLD handler); its code is lost.
      m_ended[*it] = -1;
      it = m_running.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace platform
