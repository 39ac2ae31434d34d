#include "platform/fake/FakeFiles.h"

#include <sys/stat.h>

namespace platform {

std::optional<std::string> FakeFiles::ShortPath(const std::string& path) {
  struct stat st;
  if (path.empty() || m_hidden.count(path) || stat(path.c_str(), &st) != 0) return std::nullopt;
  return path;
}

std::string FakeFiles::ModulePathOf(const void* address) {
  return address ? m_modulePath : "";
}

}  // namespace platform
