#include "tests/support/LoopbackSmtpServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace testsupport {
namespace {

// Debian's aiosmtpd is installed for the system's interpreter, which another
// python3 earlier on PATH may not see.
constexpr const char* kPython = "/usr/bin/python3";
constexpr auto kStartLimit = std::chrono::seconds(15);

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

std::string LoopbackSmtpServer::Unavailable() {
  static const std::string reason = [] {
    const std::string command = std::string(kPython) + " -c 'import aiosmtpd' 2>/dev/null";
    return std::system(command.c_str()) == 0
               ? std::string()
               : std::string("python3-aiosmtpd is not installed for ") + kPython;
  }();
  return reason;
}

LoopbackSmtpServer::LoopbackSmtpServer(SmtpServerOptions options)
    : m_smtps(options.tls == SmtpServerOptions::Tls::Smtps) {
  std::vector<std::string> args = {kPython, SONVERA_TEST_SOURCE_DIR "/tests/support/smtp_sink.py",
                                   m_folder.Path()};
  for (const std::string& address : options.refuseRecipients) {
    args.push_back("--refuse-rcpt");
    args.push_back(address);
  }
  if (options.refuseData) args.push_back("--refuse-data");
  if (options.slow != SmtpServerOptions::Slow::No) {
    args.insert(args.end(),
                {"--slow", options.slow == SmtpServerOptions::Slow::Greeting ? "greeting" : "reply",
                 "--interval-ms", std::to_string(options.interval.count())});
  }
  if (options.tls != SmtpServerOptions::Tls::None) {
    if (!options.identity) throw std::runtime_error("a TLS test SMTP server needs a certificate");
    args.insert(args.end(),
                {"--tls", m_smtps ? "smtps" : "starttls", "--cert",
                 options.identity->certificateFile, "--key", options.identity->keyFile});
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const std::string log = m_folder.File("server.log");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const int rc = posix_spawn(&m_pid, kPython, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error(std::string("could not start ") + kPython);

  // The server names its port only once it is listening.
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (!ScratchFolder::Exists(m_folder.File("port"))) {
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid || std::chrono::steady_clock::now() > deadline) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, &status, 0);
      m_pid = -1;
      throw std::runtime_error("the test SMTP server did not start: " + ScratchFolder::Read(log));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  m_port = std::atoi(ScratchFolder::Read(m_folder.File("port")).c_str());
}

LoopbackSmtpServer::~LoopbackSmtpServer() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGKILL);
  int status = 0;
  waitpid(m_pid, &status, 0);
}

std::string LoopbackSmtpServer::Url() const {
  return (m_smtps ? "smtps://127.0.0.1:" : "smtp://127.0.0.1:") + std::to_string(m_port);
}

std::vector<std::string> LoopbackSmtpServer::Messages() const {
  std::vector<std::string> messages;
  for (int n = 1; ScratchFolder::Exists(m_folder.File(std::to_string(n) + ".eml")); ++n)
    messages.push_back(ScratchFolder::Read(m_folder.File(std::to_string(n) + ".eml")));
  return messages;
}

std::string LoopbackSmtpServer::Envelope(std::size_t index) const {
  return ScratchFolder::Read(m_folder.File(std::to_string(index + 1) + ".env"));
}

std::vector<std::string> LoopbackSmtpServer::RecipientsAsked() const {
  return Lines(ScratchFolder::Read(m_folder.File("rcpt")));
}

}  // namespace testsupport
