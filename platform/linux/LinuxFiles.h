#pragma once
// Paths on Linux: an existing path is its own short form; modules through
// dladdr.
#include "platform/Files.h"

namespace platform {

class LinuxFiles : public Files {
 public:
  std::optional<std::string> ShortPath(const std::string& path) override;
  std::string ModulePathOf(const void* address) override;
};

}  // namespace platform
