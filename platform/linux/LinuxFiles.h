#pragma once
// Paths on Linux: an existing path without blanks is its own short form; one
// with blanks is reached through a blank-free link in a private folder.
// Modules through dladdr.
#include "platform/Files.h"

namespace platform {

class LinuxFiles : public Files {
 public:
  std::optional<std::string> ShortPath(const std::string& path) override;
  std::string ModulePathOf(const void* address) override;
};

}  // namespace platform
