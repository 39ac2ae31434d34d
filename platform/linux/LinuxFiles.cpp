#include "platform/linux/LinuxFiles.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>

namespace platform {

std::optional<std::string> LinuxFiles::ShortPath(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0) return std::nullopt;
  return path;
}

std::string LinuxFiles::ModulePathOf(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info) || !info.dli_fname) return "";
  std::string file = info.dli_fname;
  // A library opened by a relative name reports that name.
  if (char* full = realpath(info.dli_fname, nullptr)) {
    file = full;
    free(full);
  }
  return file;
}

}  // namespace platform
