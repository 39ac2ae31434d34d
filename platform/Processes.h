#pragma once
// Starting programs: the encoder (waited for) and an installer (left running).
//
// Contract for every backend:
// - Start and StartProgram return the new process's id, or 0 when nothing
//   could be started (no such program, not executable); they never block
//   on the program.
// - Finished never blocks: false while the process runs; true once it has
//   ended, with how it ended. An id that is not a running child of ours is
//   finished with exit code -1.
// - A program started with Start has its standard error kept, and Finished
//   hands over the end of it; one started with StartProgram (an installer,
//   left to run on its own) writes to the host's.
// - Kill ends a running child and everything it started in turn (a script's
//   programs), and returns once the child has ended; Finished then reports
//   the signal. False for an id that is not a running child of ours.
// - WaitForOpen blocks until the process holds the file at `path`: as the
//   program it runs, or as a file it has opened (a script's interpreter opens
//   the script only after the start). True then; false when the process ends
//   first, is not ours, or `timeoutMs` passes.
#include <string>
#include <vector>

namespace platform {

// How a process ended.
struct ExitStatus {
  int code = -1;          // its exit code; 128 + the signal for a killed one, as a shell says
  int signal = 0;         // the signal that ended it; 0 when it exited by itself
  std::string errorText;  // the last lines it wrote to its standard error, trimmed
};

class Processes {
 public:
  virtual ~Processes() = default;
  // A command line: the program and its arguments separated by runs of
  // blanks, double quotes grouping a word with blanks (SplitCommandLine).
  virtual int Start(const std::string& commandLine, bool minimized) = 0;
  // A program by its path and its arguments as they are: nothing is split
  // again, so a path with blanks or quotes starts that program and no other.
  virtual int StartProgram(const std::vector<std::string>& argv, bool minimized) = 0;
  virtual bool Finished(int pid, ExitStatus* status) = 0;
  virtual bool Kill(int pid) = 0;
  // So that a caller may remove a program's file while the program runs on.
  virtual bool WaitForOpen(int pid, const std::string& path, int timeoutMs) = 0;
};

// The words a command line splits into: runs of blanks separate, double
// quotes group (and are dropped), as the desktop system's start-up code does
// for the simple cases.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
// The other way, for display: words with blanks, or empty ones, in quotes.
std::string JoinCommandLine(const std::vector<std::string>& argv);

}  // namespace platform
