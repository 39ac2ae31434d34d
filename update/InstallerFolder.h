#pragma once
// The private folder an installer is downloaded into: made fresh under
// TMPDIR for each attempt, removed when the attempt is over. The host quits
// right after the installer starts, so a folder whose removal never came (a
// crash, a kill) is swept at a later start.
#include <chrono>
#include <string>

namespace sonvera {

constexpr const char* kInstallerFolderPrefix = "sonvera-update-";
// Older than this, a folder of ours belongs to no attempt still running.
constexpr std::chrono::hours kInstallerFolderMaxAge{24};

class InstallerFolder {
 public:
  // A new folder only this user can enter, so that nobody can swap the file
  // between writing and starting it. Throws platform::Error.
  InstallerFolder();
  ~InstallerFolder();
  InstallerFolder(const InstallerFolder&) = delete;
  InstallerFolder& operator=(const InstallerFolder&) = delete;

  std::string File(const std::string& name) const { return m_path + "/" + name; }
  // Removes the folder with what it holds; the destructor does it otherwise.
  void Remove();

 private:
  std::string m_path;
};

// TMPDIR when set and not empty, else /tmp.
std::string TemporaryFolder();

// Removes the installer folders under `parent` that this user owns and that
// were last changed before `before`. Anything else is left alone: other
// names, other owners, files and links.
void SweepInstallerFolders(const std::string& parent, std::chrono::system_clock::time_point before);

}  // namespace sonvera
