#pragma once
// The desktop's default action through xdg-open, where the machine has it.
#include "platform/Shell.h"

namespace platform {

class LinuxShell : public Shell {
 public:
  int Open(const std::string& address, const std::string& workingFolder) override;
};

}  // namespace platform
