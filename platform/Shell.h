#pragma once
// What the desktop shell and the file system give an add-in beyond files.
#include <optional>
#include <string>

namespace platform {

class Shell {
 public:
  virtual ~Shell() = default;
  // The shell's default action on an address or file; a result above 32 is
  // success, as on the original system.
  virtual int Open(const std::string& address, const std::string& workingFolder) = 0;
};

// Short form of a path: on this system the path itself when it exists; none
// when it does not.
std::optional<std::string> ShortPath(const std::string& path);

// Full path of the loaded module (library or program) that holds `address`.
std::string ModulePathOf(const void* address);
// Its folder, without a trailing separator.
std::string ModuleFolderOf(const void* address);

// The platform's path separator as text.
constexpr const char* kPathSeparator = "/";

}  // namespace platform
