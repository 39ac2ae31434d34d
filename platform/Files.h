#pragma once
// What the file system tells an add-in beyond reading and writing files,
// which the add-in does itself with the standard library.
//
// Contract for every backend:
// - ShortPath of an existing path is a path that names the same file; of a
//   path that does not exist, none.
// - ModulePathOf an address inside a loaded library or program is the full
//   path of that file; "" when no module holds the address.
#include <optional>
#include <string>

namespace platform {

// The platform's path separator as text.
constexpr const char* kPathSeparator = "/";

class Files {
 public:
  virtual ~Files() = default;
  virtual std::optional<std::string> ShortPath(const std::string& path) = 0;
  virtual std::string ModulePathOf(const void* address) = 0;
};

// The folder of a file path, without a trailing separator ("." for a bare name).
std::string FolderOf(const std::string& path);

}  // namespace platform
