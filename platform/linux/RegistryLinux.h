#pragma once
// The registry kept in one registry-export text file (see RegFile.h), shared by
// every process of the user.
//
// Every change runs under an exclusive flock on "<file>.lock": re-read the file
// if it differs from what this process last saw, apply, write
// "<file>.tmp.<pid>.<n>" (created with O_EXCL), fsync, rename it over the file,
// fsync the folder. A killed writer thus leaves the old or the new file, never
// a torn one, and two writers lose nothing. Temporary files left by killed
// writers are removed when a RegistryLinux starts, under the lock, so never
// one that a live writer still owns.
//
// Reads stat the file and re-read it only when its identity, size or times
// changed, so a read of an unchanged file costs one stat.
//
// A file that does not parse is renamed to "<file>.corrupt" (or ".corrupt.N"
// when that exists), reported in one line on standard error, and the registry
// starts empty.
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/common/RegistryTree.h"

namespace platform {

class RegistryLinux : public Registry {
 public:
  explicit RegistryLinux(std::string filePath);
  ~RegistryLinux() override;

  // $XDG_DATA_HOME/mailhost/registry.reg, XDG_DATA_HOME defaulting to
  // $HOME/.local/share.
  static std::string DefaultPath();

  const std::string& FilePath() const { return m_path; }

  std::int32_t OpenKey(HKey root, const std::string& path, HKey* result) override;
  std::int32_t CreateKey(HKey root, const std::string& path, HKey* result) override;
  std::int32_t QueryValue(HKey key, const std::string& name, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* size) override;
  std::int32_t SetValue(HKey key, const std::string& name, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) override;
  std::int32_t CloseKey(HKey key) override;
  std::int32_t DeleteValue(HKey key, const std::string& name) override;
  std::int32_t DeleteTree(HKey root, const std::string& path) override;
  std::int32_t ListValues(HKey key, std::vector<RegValue>* values) override;
  std::int32_t ListSubkeys(HKey key, std::vector<std::string>* names) override;

 private:
  // What identifies one version of the file without reading it.
  struct Stamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;
    bool operator==(const Stamp&) const = default;
  };

  class Lock;

  template <typename Change>
  std::int32_t Mutate(Change change);
  // Brings the cache up to the file. Unlocked, a cheap stat decides; locked,
  // the content itself does. Returns false when the file could not be read or
  // a corrupt file could not be moved aside.
  bool Refresh(bool locked);
  bool Load(const std::string& bytes, const Stamp& stamp, bool locked);
  bool MoveAside(const std::string& reason);
  std::int32_t WriteAtomically(const std::string& bytes);
  void SweepTemporaries();
  static Stamp StampOf(const struct stat& info);

  std::string m_path;
  std::string m_folder;
  std::string m_tempPrefix;  // file name, without folder, of temporary files
  RegistryTree m_tree;
  Stamp m_stamp;
  bool m_loaded = false;
  std::string m_bytes;  // the file content the cache was built from
  std::uint64_t m_tempCounter = 0;
  bool m_reportedUnmovable = false;
};

}  // namespace platform
