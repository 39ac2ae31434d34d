#include "tests/support/MailhostRun.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/ScratchFolder.h"

namespace testsupport {

MailhostRun RunMailhost(const std::string& arguments, const std::string& environment,
                        const std::string& input) {
  ScratchFolder scratch;
  const std::string errFile = scratch.File("stderr.txt");
  const std::string command =
      environment + " " + MAILHOST_BINARY + " " + arguments + " 2>" + errFile + " <" + input;
  MailhostRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = ScratchFolder::Read(errFile);
  return run;
}

namespace {

constexpr auto kWatchdog = std::chrono::seconds(60);

}  // namespace

MailhostProcess::MailhostProcess(const std::string& arguments,
                                 const std::vector<std::string>& environment) {
  std::vector<std::string> words{MAILHOST_BINARY};
  std::istringstream split(arguments);
  for (std::string word; split >> word;) words.push_back(word);
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) return;
  m_pid = fork();
  if (m_pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[1]);
    close(out[0]);
    for (const auto& entry : environment) putenv(const_cast<char*>(entry.c_str()));
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  m_input = in[1];
  m_outputFd = out[0];
}

MailhostProcess::~MailhostProcess() {
  CloseInput();
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
  if (m_outputFd >= 0) close(m_outputFd);
}

void MailhostProcess::Write(const std::string& text) {
  if (m_input >= 0) [[maybe_unused]]
    auto n = write(m_input, text.data(), text.size());
}

void MailhostProcess::CloseInput() {
  if (m_input >= 0) close(m_input);
  m_input = -1;
}

std::string MailhostProcess::WaitForLine(const std::string& prefix) {
  const auto end = std::chrono::steady_clock::now() + kWatchdog;
  for (;;) {
    for (auto newline = m_output.find('\n', m_scanned); newline != std::string::npos;
         newline = m_output.find('\n', m_scanned)) {
      const auto line = m_output.substr(m_scanned, newline - m_scanned);
      m_scanned = newline + 1;
      if (line.rfind(prefix, 0) == 0) return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (m_outputFd < 0 || left.count() <= 0) return "";
    pollfd fd{m_outputFd, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) return "";
    char buffer[4096];
    const auto got = read(m_outputFd, buffer, sizeof buffer);
    if (got <= 0) return "";
    m_output.append(buffer, static_cast<std::size_t>(got));
  }
}

int MailhostProcess::Wait() {
  if (m_pid <= 0) return -1;
  const auto end = std::chrono::steady_clock::now() + kWatchdog;
  int status = 0;
  while (waitpid(m_pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) return -1;  // the destructor kills it
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  m_pid = -1;
  WaitForLine("\x01");  // whatever it printed last
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string AddinWithEncoder(const std::string& folder, const std::string& encoderScript) {
  namespace fs = std::filesystem;
  fs::create_directories(folder);
  for (const auto& entry : fs::directory_iterator(SONVERA_TEST_ADDIN_DIR)) {
    const auto name = entry.path().filename().string();
    const auto target = fs::path(folder) / name;
    if (name == "libsonvera.so") {
      fs::copy_file(entry.path(), target);  // a link would lead the run to the build's
    } else if (name != "lame" && name != "Temp.wav" && name != "Sonvera.mp3") {
      fs::create_symlink(entry.path(), target);
    }
  }
  const std::string encoder = folder + "/lame";
  std::ofstream(encoder) << encoderScript;
  chmod(encoder.c_str(), 0700);
  return folder + "/libsonvera.so";
}

}  // namespace testsupport
