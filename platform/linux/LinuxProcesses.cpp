#include "platform/linux/LinuxProcesses.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

extern char** environ;

namespace platform {
namespace {

// Exit code reported for a child killed by a signal, as a shell does.
int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// How often the process is looked at while no open has been seen.
constexpr int kLookEveryMs = 10;

bool SameFile(const std::string& path, const struct stat& target) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && st.st_dev == target.st_dev && st.st_ino == target.st_ino;
}

// The process runs the file or has it open; by inode, so that links and
// relative names do not matter.
bool Holds(int pid, const struct stat& target) {
  const std::string proc = "/proc/" + std::to_string(pid);
  if (SameFile(proc + "/exe", target)) return true;
  DIR* fds = opendir((proc + "/fd").c_str());
  if (!fds) return false;
  bool held = false;
  while (!held) {
    const dirent* entry = readdir(fds);
    if (!entry) break;
    held = entry->d_name[0] != '.' && SameFile(proc + "/fd/" + entry->d_name, target);
  }
  closedir(fds);
  return held;
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

bool LinuxProcesses::WaitForOpen(int pid, const std::string& path, int timeoutMs) {
  struct stat target {};
  if (pid <= 0 || stat(path.c_str(), &target) != 0) return false;
  // Watching before the first look: an interpreter that opens and closes the
  // script between two looks is still seen. Without inotify (-1) poll only waits.
  int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (watch >= 0 && inotify_add_watch(watch, path.c_str(), IN_OPEN) < 0) {
    close(watch);
    watch = -1;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool opened = false;
  while (!opened && Running(pid)) {
    opened = Holds(pid, target);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (opened || left <= 0) break;
    pollfd waiting{watch, POLLIN, 0};
    opened = poll(&waiting, 1, static_cast<int>(std::min<long>(left, kLookEveryMs))) > 0;
  }
  if (watch >= 0) close(watch);
  return opened;
}

bool LinuxProcesses::Running(int pid) {
  std::lock_guard lock(m_mutex);
  ReapEnded();
  return m_running.count(pid) > 0;
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
