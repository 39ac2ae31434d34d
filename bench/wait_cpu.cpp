// CPU time the add-in spends while it waits for the encoder, against the
// encoder's own: the wait polls the process and lets events run, and must
// not cost a core while it does.
// Usage: wait_cpu WAV  (an 11,025 Hz mono WAV to encode)
#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <string>

#include "inspector/Insp.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxProcesses.h"
#include "platform/linux/PollEventLoop.h"

namespace {

double Seconds(const rusage& usage) {
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wait_cpu WAV\n");
    return 2;
  }
  platform::PollEventLoop loop;
  platform::LinuxProcesses processes;
  platform::Services services;
  services.loop = &loop;
  services.processes = &processes;
  platform::ScopedInstall install(services);

  const std::string wav = argv[1];
  const std::string line = "lame -s 11025 -m m -a --quiet -p -o  " + wav + "  " + wav + ".mp3 ";
  rusage selfBefore{}, childBefore{}, selfAfter{}, childAfter{};
  getrusage(RUSAGE_SELF, &selfBefore);
  getrusage(RUSAGE_CHILDREN, &childBefore);
  auto insp = std::make_shared<sonvera::Insp>();
  insp->ShellandWait(line, 0);
  getrusage(RUSAGE_SELF, &selfAfter);
  getrusage(RUSAGE_CHILDREN, &childAfter);
  const double self = Seconds(selfAfter) - Seconds(selfBefore);
  const double child = Seconds(childAfter) - Seconds(childBefore);
  std::printf("encoder CPU %.3f s, waiting add-in CPU %.4f s: %.2f%% of the encoder's\n", child,
              self, child > 0 ? 100.0 * self / child : 0.0);
  std::remove((wav + ".mp3").c_str());
  return 0;
}
