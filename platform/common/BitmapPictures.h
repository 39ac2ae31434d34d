#pragma once
// Pictures from bitmap files on disk.
#include "platform/Clipboard.h"

namespace platform {

class BitmapPictures : public Pictures {
 public:
  // The descriptions are the desktop system's own, without the path, so that
  // what a user sees does not depend on where the add-in is installed.
  static constexpr const char* kFileNotFound = "File not found";
  static constexpr const char* kInvalidPicture = "Invalid picture";

  PicturePtr Load(const std::string& path) override;
};

}  // namespace platform
