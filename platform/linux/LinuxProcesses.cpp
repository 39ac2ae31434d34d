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
#include <csignal>
#include <cstdlib>
#include <utility>
#include <vector>

extern char** environ;

namespace platform {
namespace {

// How much of a program's standard error is handed over: enough for its
// last words, not a log.
constexpr off_t kErrorTail = 1024;

ExitStatus StatusOf(int status) {
  ExitStatus ended;
  if (status >= 0 && WIFEXITED(status)) {
    ended.code = WEXITSTATUS(status);
  } else if (status >= 0 && WIFSIGNALED(status)) {
    ended.signal = WTERMSIG(status);
    ended.code = 128 + ended.signal;  // as a shell reports it
  }
  return ended;
}

// An unnamed file for a child's standard error; -1 when none can be made,
// and the child then writes to ours.
int ErrorFile() {
  const char* tmp = std::getenv("TMPDIR");
  const std::string folder = tmp && *tmp ? tmp : "/tmp";
  int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  // A file system without O_TMPFILE: a named one, unlinked at once.
  std::string name = folder + "/.errors-XXXXXX";
  fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) unlink(name.c_str());
  return fd;
}

// The last lines of what was written to `fd`, without surrounding blanks.
std::string TailOf(int fd) {
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0 || info.st_size <= 0) return "";
  const off_t from = std::max<off_t>(0, info.st_size - kErrorTail);
  std::string text(static_cast<std::size_t>(info.st_size - from), '\0');
  const ssize_t got = pread(fd, text.data(), text.size(), from);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  // A line cut at the front says nothing whole.
  if (from > 0) {
    const auto newline = text.find('\n');
    text.erase(0, newline == std::string::npos ? 0 : newline + 1);
  }
  const char* blanks = " \t\r\n";
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
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

LinuxProcesses::~LinuxProcesses() {
  for (const auto& [pid, errors] : m_running)
    if (errors >= 0) close(errors);
}

int LinuxProcesses::Start(const std::string& commandLine, bool /*minimized*/) {
  return Spawn(SplitCommandLine(commandLine), true);
}

int LinuxProcesses::StartProgram(const std::vector<std::string>& argv, bool /*minimized*/) {
  return Spawn(argv, false);
}

int LinuxProcesses::Spawn(const std::vector<std::string>& argvIn, bool keepErrors) {
  std::vector<std::string> words = argvIn;
  if (words.empty() || words[0].empty()) return 0;
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  // The child must not compete with the host for its standard input.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const int errors = keepErrors ? ErrorFile() : -1;
  if (errors >= 0) posix_spawn_file_actions_adddup2(&actions, errors, 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);

  std::lock_guard lock(m_mutex);
  ReapEnded();
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) {
    if (errors >= 0) close(errors);
    return 0;
  }
  m_running[pid] = errors;
  return pid;
}

bool LinuxProcesses::Finished(int pid, ExitStatus* status) {
  std::lock_guard lock(m_mutex);
  ReapEnded();
  if (auto ended = m_ended.find(pid); ended != m_ended.end()) {
    if (status) *status = std::move(ended->second);
    m_ended.erase(ended);
    return true;
  }
  if (m_running.count(pid)) return false;
  // Not a child of ours (or asked about twice): nothing is running under that
  // id for us to wait for.
  if (status) *status = ExitStatus{};
  return true;
}

bool LinuxProcesses::Kill(int pid) {
  std::lock_guard lock(m_mutex);
  ReapEnded();
  if (pid <= 0 || !m_running.count(pid)) return false;
  // The group: a script's own programs would otherwise run on without it.
  if (kill(-pid, SIGKILL) != 0) kill(pid, SIGKILL);
  int status = 0;
  pid_t got = 0;
  while ((got = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  Ended(pid, got == pid ? status : -1);
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

void LinuxProcesses::Ended(int pid, int status) {
  ExitStatus ended = StatusOf(status);
  const int errors = m_running[pid];
  if (errors >= 0) {
    ended.errorText = TailOf(errors);
    close(errors);
  }
  m_ended[pid] = std::move(ended);
  m_running.erase(pid);
}

void LinuxProcesses::ReapEnded() {
  std::vector<std::pair<int, int>> reaped;
  for (const auto& [pid, errors] : m_running) {
    int status = 0;
    const pid_t got = waitpid(pid, &status, WNOHANG);
    if (got == pid) {
      reaped.emplace_back(pid, status);
    } else if (got < 0 && errno == ECHILD) {
      // Someone else reaped it (a host's SIGCHLD handler); its code is lost.
      reaped.emplace_back(pid, -1);
    }
  }
  for (const auto& [pid, status] : reaped) Ended(pid, status);
}

}  // namespace platform
