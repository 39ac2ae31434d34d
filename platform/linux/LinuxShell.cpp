#include "platform/linux/LinuxShell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

extern char** environ;

namespace platform {

int LinuxShell::Open(const std::string& address, const std::string& /*workingFolder*/) {
  const char* opener = "/usr/bin/xdg-open";
  if (access(opener, X_OK) != 0) {
    std::fprintf(stderr, "Cannot open %s: xdg-open is not installed on this machine.\n",
                 address.c_str());
    return 2;  // "file not found", as the original shell would say
  }
  pid_t pid;
  char* argv[] = {const_cast<char*>(opener), const_cast<char*>(address.c_str()), nullptr};
  if (posix_spawn(&pid, opener, nullptr, nullptr, argv, environ) != 0) return 2;
  // xdg-open hands the address on and exits; do not leave a zombie behind.
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 42 : 2;
}

}  // namespace platform
