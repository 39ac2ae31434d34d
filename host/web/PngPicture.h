#pragma once
// The page shows the add-in's bitmap files as PNG: browsers differ on BMP.
#include <optional>
#include <string>

#include "platform/Pictures.h"

namespace mailhost {

// Uncompressed 24- and 32-bit bitmaps; none for anything else or a file
// shorter than its header says.
std::optional<std::string> BitmapToPng(const platform::Picture& picture);

}  // namespace mailhost
