// Records with one media device and prints the peak resident memory (KiB),
// the recording's frames and the seconds it took, one line:
//   record_memory idle | fake SECONDS | alsa SECONDS  FOLDER
// "fake" records virtual seconds of the fake microphone, "alsa" real seconds
// from ALSA's null device.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "platform/fake/FakeMedia.h"
#include "platform/fake/FakeMicrophone.h"
#include "platform/fake/VirtualEventLoop.h"
#include "platform/linux/AlsaMedia.h"
#include "platform/linux/PollEventLoop.h"

namespace {

long PeakKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void Record(platform::MediaDevice& device, const std::string& folder,
            const std::function<void()>& letTimePass) {
  device.SetDeviceType("WaveAudio");
  device.SetFileName(folder + "/R.wav");
  device.Command("Open");
  device.SetRecordMode(1);
  device.Command("Record");
  letTimePass();
  device.Command("Stop");
  device.SetNotify(false);
  device.SetWait(true);
  device.SetFileName(folder + "/Temp.wav");
  device.Command("Save");
  device.Command("Close");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: record_memory idle|fake SECONDS|alsa SECONDS FOLDER\n");
    return 2;
  }
  const std::string mode = argv[1];
  const auto started = std::chrono::steady_clock::now();
  try {
    if (mode == "fake" && argc == 4) {
      platform::VirtualEventLoop loop;
      platform::FakeMicrophone microphone;
      platform::FakeMedia media(loop, microphone);
      auto device = media.CreateDevice();
      const platform::Millis length(std::atoll(argv[2]) * 1000);
      Record(*device, argv[3], [&] { loop.AdvanceBy(length); });
    } else if (mode == "alsa" && argc == 4) {
      platform::PollEventLoop loop;
      platform::AlsaMedia media(loop, platform::AlsaDevices{"null", "null", ""});
      auto device = media.CreateDevice();
      const platform::Millis length(std::atoll(argv[2]) * 1000);
      Record(*device, argv[3], [&] {
        loop.SetTimer(length, false, [&loop] { loop.Quit(); });
        loop.Run();
      });
    } else if (mode != "idle") {
      std::fprintf(stderr, "record_memory: unknown mode %s\n", mode.c_str());
      return 2;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "record_memory: %s\n", e.what());
    return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("%ld %.1f\n", PeakKib(), seconds);
  return 0;
}
