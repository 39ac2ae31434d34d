#pragma once
// Runs the mailhost program as a user would and keeps what it printed.
#include <string>
#include <vector>

namespace testsupport {

struct MailhostRun {
  std::string out;
  std::string err;
  int status = -1;  // the exit status, or -1 when it did not exit by itself
};

// `environment` (NAME=value ...) goes before the program, `arguments` after it.
MailhostRun RunMailhost(const std::string& arguments, const std::string& environment = "",
                        const std::string& input = "/dev/null");

// mailhost running beside the test: its input a pipe the test writes, its
// output read as it comes. Every wait has a watchdog of 60 s; the destructor
// kills a run that is still going.
class MailhostProcess {
 public:
  // `arguments` split at blanks; `environment` NAME=value entries added to the test's own.
  MailhostProcess(const std::string& arguments, const std::vector<std::string>& environment = {});
  ~MailhostProcess();
  MailhostProcess(const MailhostProcess&) = delete;
  MailhostProcess& operator=(const MailhostProcess&) = delete;

  void Write(const std::string& text);
  void CloseInput();
  // Reads until a line starting with `prefix` has come and returns it; "" at
  // the end of the output or at the watchdog.
  std::string WaitForLine(const std::string& prefix);
  // The exit status once it has ended, or -1 (killed at the watchdog).
  int Wait();
  const std::string& Output() const { return m_output; }

 private:
  int m_pid = -1;
  int m_input = -1;
  int m_outputFd = -1;
  std::string m_output;
  std::size_t m_scanned = 0;
};

// A copy of the built add-in folder in `folder` whose encoder is `encoderScript`
// (a shell script); returns the library to run or register.
std::string AddinWithEncoder(const std::string& folder, const std::string& encoderScript);

}  // namespace testsupport
