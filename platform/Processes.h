#pragma once
// Starting programs: the encoder (waited for) and an installer (left running).
#include <string>

namespace platform {

class Processes {
 public:
  virtual ~Processes() = default;
  // Starts a command line: the program and its arguments separated by runs of
  // blanks, double quotes grouping a word with blanks. Returns the process id,
  // or 0 when nothing could be started.
  virtual int Start(const std::string& commandLine, bool minimized) = 0;
  // True once the process has ended, with its exit code; never blocks.
  virtual bool Finished(int pid, int* exitCode) = 0;
};

}  // namespace platform
