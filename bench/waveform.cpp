// Times the waveform of one MP3, uncached: the peaks the page's player draws.
// Usage: waveform FILE.mp3 [COUNT]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/common/SoundPeaks.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: waveform FILE.mp3 [COUNT]\n");
    return 2;
  }
  const std::size_t count = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 800;
  try {
    // Read first: mailhost has the attachment's bytes in memory already.
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpu = std::clock();
    const auto peaks = platform::ReadMp3Peaks(bytes.data(), bytes.size(), count, argv[1]);
    const auto ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    // The machine is shared: the CPU time is the figure that does not depend on the others.
    std::printf("%.0f ms (%.0f ms of CPU) for %zu peaks of %.1f minutes\n", ms,
                (std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC, peaks.peaks.size(),
                peaks.durationMs / 60000.0);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "waveform: %s\n", e.what());
    return 1;
  }
  return 0;
}
