#include "tests/support/MailhostRun.h"

#include <sys/wait.h>

#include <cstdio>

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

}  // namespace testsupport
