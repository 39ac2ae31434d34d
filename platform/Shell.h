#pragma once
// The desktop shell's default action on an address or a file.
#include <string>

namespace platform {

class Shell {
 public:
  virtual ~Shell() = default;
  // A result above 32 is success, as on the original system.
  virtual int Open(const std::string& address, const std::string& workingFolder) = 0;
};

}  // namespace platform
