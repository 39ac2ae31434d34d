#include "tests/support/MailhostRun.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

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
