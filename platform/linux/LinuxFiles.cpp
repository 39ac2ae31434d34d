#include "platform/linux/LinuxFiles.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

namespace platform {

namespace {

// A folder only this user owns and can write, for the blank-free aliases.
std::optional<std::string> AliasFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folder = runtime && *runtime ? std::string(runtime) + "/sonvera-short"
                                           : "/tmp/sonvera-short-" + std::to_string(getuid());
  mkdir(folder.c_str(), 0700);
  struct stat st;
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
      (st.st_mode & 022) != 0)
    return std::nullopt;
  return folder;
}

}  // namespace

std::optional<std::string> LinuxFiles::ShortPath(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0) return std::nullopt;
  if (path.find_first_of(" \t") == std::string::npos) return path;
  // A path with blanks gets a blank-free alias, as the short form of a long
  // name has none: a command line built from it splits where it should.
  auto folder = AliasFolder();
  if (!folder) return path;
  const std::string alias =
      *folder + "/" + std::to_string(std::hash<std::string>{}(path) & 0xffffffffffULL);
  char target[4096];
  const ssize_t length = readlink(alias.c_str(), target, sizeof target - 1);
  if (length >= 0 && std::string(target, static_cast<size_t>(length)) == path) return alias;
  unlink(alias.c_str());
  if (symlink(path.c_str(), alias.c_str()) != 0) return path;
  return alias;
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
