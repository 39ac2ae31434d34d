#include <dlfcn.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "platform/Shell.h"

namespace platform {

std::optional<std::string> ShortPath(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0) return std::nullopt;
  return path;
}

std::string ModulePathOf(const void* address) {
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

std::string ModuleFolderOf(const void* address) {
  std::string file = ModulePathOf(address);
  auto slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : file.substr(0, slash);
}

}  // namespace platform
