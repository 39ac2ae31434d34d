#include "update/InstallerFolder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/Error.h"

namespace sonvera {
namespace {

// mkdtemp's six random characters.
constexpr std::size_t kRandomPart = 6;

bool IsOurs(const std::string& parent, const std::string& name,
            std::chrono::system_clock::time_point before) {
  const std::string prefix = kInstallerFolderPrefix;
  if (name.size() != prefix.size() + kRandomPart || name.compare(0, prefix.size(), prefix) != 0)
    return false;
  struct stat st {};
  if (lstat((parent + "/" + name).c_str(), &st) != 0) return false;
  const auto changed = std::chrono::system_clock::from_time_t(st.st_mtime);
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && changed < before;
}

}  // namespace

std::string TemporaryFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

InstallerFolder::InstallerFolder() {
  const std::string pattern = TemporaryFolder() + "/" + kInstallerFolderPrefix + "XXXXXX";
  std::vector<char> folder(pattern.begin(), pattern.end());
  folder.push_back('\0');
  if (!mkdtemp(folder.data())) {
    throw platform::Error("Could not write the update program " + pattern + ": " +
                          std::strerror(errno));
  }
  m_path = folder.data();
}

InstallerFolder::~InstallerFolder() {
  Remove();
}

void InstallerFolder::Remove() {
  if (m_path.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
  m_path.clear();
}

void SweepInstallerFolders(const std::string& parent,
                           std::chrono::system_clock::time_point before) {
  DIR* dir = opendir(parent.c_str());
  if (!dir) return;
  std::vector<std::string> old;
  while (const dirent* entry = readdir(dir)) {
    if (IsOurs(parent, entry->d_name, before)) old.push_back(parent + "/" + entry->d_name);
  }
  closedir(dir);
  // remove_all takes links inside away as links; it never follows them.
  for (const auto& path : old) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
}

}  // namespace sonvera
