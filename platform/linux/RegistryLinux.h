#pragma once
// The registry kept in one registry-export text file (see RegFile.h), shared by
// every process of the user.
//
// Every change runs under an exclusive flock on "<file>.lock": re-read the file
// if it differs from what this process last saw, apply, and replace the file
// in one rename of a synced "<file>.tmp.<pid>.<n>" (ReplaceFile, DurableFile.h).
// A killed writer thus leaves the old or the new file, never a torn one, and
// two writers lose nothing. Temporary files left by killed
// writers are removed when a RegistryLinux starts, under the lock, so never
// one that a live writer still owns. A batch holds the lock from its start to
// its end and writes once.
//
// A symbolic link at the path is followed: its target is what is locked and
// replaced, and the link stays.
//
// Reads stat the file and re-read it only when its identity, size or times
// changed, so a read of an unchanged file costs one stat.
//
// A line that does not parse is skipped and the rest is kept (RegFile.h).
// Before such a file can be rewritten, its bytes are copied to
// "<file>.bad-<UTC time>" (unless a copy with those bytes is there already),
// and a note names the skipped lines and the copy.
//
// Only a regular file of at most kMaxFileSize bytes is read. When the file
// cannot be read or written (not a regular file, too big, no permission, no
// copy of a damaged file could be made) a note says why, and the store lives
// in memory for the rest of the run: it starts from what could be read and
// never touches the file again, so nothing in the file is lost.
//
// Notes are meant for the person at the console: they wait until the host
// sets a sink, and each is handed out once.
#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/common/RegistryTree.h"

namespace platform {

class RegistryLinux : public RegistryTree {
 public:
  static constexpr std::int64_t kMaxFileSize = 64ll << 20;
  using NoteSink = std::function<void(const std::string&)>;

  // Reads the file at once, so that what the notes say is known at start.
  explicit RegistryLinux(std::string filePath);
  ~RegistryLinux() override;

  // $XDG_DATA_HOME/mailhost/registry.reg, XDG_DATA_HOME defaulting to
  // $HOME/.local/share.
  static std::string DefaultPath();

  const std::string& FilePath() const { return m_path; }
  // Hands the waiting notes to `sink`, and every later one as it comes.
  void SetNoteSink(NoteSink sink);
  // True when the file is out of reach for this run.
  bool InMemoryOnly() const { return m_memoryOnly; }
  // How often this store has replaced the file.
  std::uint64_t Writes() const { return m_writes; }

  void BeginBatch() override;
  std::int32_t EndBatch() override;

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

  // The file that writes replace: the path with its links followed.
  struct Target {
    std::string file;
    std::string folder;
    std::string tempPrefix;  // file name, without folder, of temporary files
  };

  class Lock;

  void BeforeRead() override { Refresh(false); }
  std::int32_t Change(const std::function<std::int32_t()>& change) override;
  // Brings the cache up to the file. Unlocked, a cheap stat decides; locked,
  // the content itself does. Returns false when the file could not be read.
  bool Refresh(bool locked);
  bool Load(const std::string& bytes, const Stamp& stamp, bool locked);
  // Copies a damaged file's bytes beside it; returns "" or why it could not.
  std::string KeepCopy(const std::string& bytes, std::string* copy) const;
  void InMemoryFromNowOn(const char* format, const std::string& reason);
  std::int32_t Save(const Target& target);
  Target Resolve() const;
  void Note(std::string note);
  static Stamp StampOf(const struct stat& info);

  std::string m_path;
  Stamp m_stamp;
  bool m_loaded = false;
  bool m_memoryOnly = false;
  bool m_saidInMemory = false;
  std::string m_bytes;  // the file content the cache was built from
  std::uint64_t m_writes = 0;
  int m_batchDepth = 0;
  std::unique_ptr<Lock> m_batchLock;  // held while the outermost batch runs
  Target m_batchTarget;
  std::uint64_t m_batchGeneration = 0;
  std::vector<std::string> m_notes;  // waiting for a sink
  NoteSink m_sink;
};

}  // namespace platform
