#pragma once
// Pictures loaded from bitmap files: button faces and the meter's bars.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct Picture {
  std::string sourceFile;  // the file it was loaded from, for display
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bytes;  // the whole bitmap file
};
using PicturePtr = std::shared_ptr<const Picture>;

class Pictures {
 public:
  virtual ~Pictures() = default;
  // Loads a bitmap file; throws platform::Error ("File not found: PATH",
  // "Invalid picture: PATH").
  virtual PicturePtr Load(const std::string& path) = 0;
};

}  // namespace platform
