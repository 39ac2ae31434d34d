#pragma once
// Runs the mailhost program as a user would and keeps what it printed.
#include <string>

namespace testsupport {

struct MailhostRun {
  std::string out;
  std::string err;
  int status = -1;  // the exit status, or -1 when it did not exit by itself
};

// `environment` (NAME=value ...) goes before the program, `arguments` after it.
MailhostRun RunMailhost(const std::string& arguments, const std::string& environment = "",
                        const std::string& input = "/dev/null");

// A copy of the built add-in folder in `folder` whose encoder is `encoderScript`
// (a shell script); returns the library to run or register.
std::string AddinWithEncoder(const std::string& folder, const std::string& encoderScript);

}  // namespace testsupport
