#pragma once
// How much the page's server takes at once: bounded, so that no request and
// no number of open pages can take mailhost's memory or its workers.
#include <cstddef>
#include <string>

namespace mailhost {

struct PageLimits {
  std::size_t commandBytes = 64 * 1024;        // a command line, an answer
  std::size_t uploadBytes = 25 * 1024 * 1024;  // a file attached from the page
  int streams = 16;                            // event streams open at once
  int workers = 32;                            // for everything but the streams
};

// "25 MiB", "64 KiB", "1000 bytes".
inline std::string SizeText(std::size_t bytes) {
  constexpr std::size_t kKiB = 1024;
  if (bytes >= kKiB * kKiB && bytes % (kKiB * kKiB) == 0)
    return std::to_string(bytes / (kKiB * kKiB)) + " MiB";
  if (bytes >= kKiB && bytes % kKiB == 0) return std::to_string(bytes / kKiB) + " KiB";
  return std::to_string(bytes) + " bytes";
}

}  // namespace mailhost
