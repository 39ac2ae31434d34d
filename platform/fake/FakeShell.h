#pragma once
// A shell that opens nothing and remembers what it was asked to open.
#include <functional>
#include <vector>

#include "platform/Shell.h"

namespace platform {

class FakeShell : public Shell {
 public:
  int Open(const std::string& address, const std::string& /*workingFolder*/) override {
    opened.push_back(address);
    if (onOpen) onOpen(address);
    return 42;
  }
  std::vector<std::string> opened;
  std::function<void(const std::string&)> onOpen;
};

}  // namespace platform
