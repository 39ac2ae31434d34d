#include "platform/linux/RegistryLinux.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/linux/RegFile.h"

namespace platform {
namespace {

constexpr const char* kCorruptMovedMessage =
    "The registry file %s could not be read (%s); it was moved to %s and the registry starts "
    "empty.\n";
constexpr const char* kCorruptKeptMessage =
    "The registry file %s could not be read (%s) nor moved aside (%s); it is left as it is and "
    "no change will be saved.\n";
constexpr const char* kCorruptSuffix = ".corrupt";
constexpr const char* kLockSuffix = ".lock";
constexpr const char* kTempInfix = ".tmp.";
constexpr mode_t kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;

std::int32_t StatusOf(int error) {
  return error == EACCES || error == EPERM || error == EROFS ? kErrorAccessDenied
                                                             : kErrorWriteFault;
}

void MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string prefix = folder.substr(0, slash);
    if (!prefix.empty()) mkdir(prefix.c_str(), kFolderMode);
    if (slash == std::string::npos) break;
  }
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);  // the rename already happened; a failure here only weakens durability
  close(fd);
}

// Reads the whole file; returns 0 or errno.
int ReadWhole(const std::string& path, std::string* bytes, struct stat* info) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = 0;
  if (fstat(fd, info) != 0) {
    error = errno;
  } else {
    bytes->clear();
    char buffer[16384];
    for (;;) {
      const ssize_t got = read(fd, buffer, sizeof buffer);
      if (got > 0) {
        bytes->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0) {
        break;
      } else if (errno != EINTR) {
        error = errno;
        break;
      }
    }
  }
  close(fd);
  return error;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

// Renames without replacing: an earlier piece of evidence is never lost.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // File systems without the flag: a hard link refuses an existing name too.
  if (link(from.c_str(), to.c_str()) != 0) return errno;
  unlink(from.c_str());
  return 0;
}

}  // namespace

// The exclusive lock of one change, on a file of its own beside the registry
// file: the registry file itself is replaced by every write, so a lock on it
// would lock a file that is no longer the registry.
class RegistryLinux::Lock {
 public:
  explicit Lock(const RegistryLinux& owner) {
    const std::string path = owner.m_path + kLockSuffix;
    m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kFileMode);
    if (m_fd < 0 && errno == ENOENT) {
      MakeFolders(owner.m_folder);
      m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kFileMode);
    }
    if (m_fd < 0) {
      m_error = errno;
      return;
    }
    while (flock(m_fd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        m_error = errno;
        close(m_fd);
        m_fd = -1;
        return;
      }
    }
  }
  ~Lock() {
    if (m_fd >= 0) close(m_fd);  // closing releases the lock
  }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  bool Held() const { return m_fd >= 0; }
  int Error() const { return m_error; }

 private:
  int m_fd = -1;
  int m_error = 0;
};

RegistryLinux::RegistryLinux(std::string filePath) : m_path(std::move(filePath)) {
  const std::size_t slash = m_path.rfind('/');
  m_folder = slash == std::string::npos ? "." : slash == 0 ? "/" : m_path.substr(0, slash);
  m_tempPrefix = m_path.substr(slash == std::string::npos ? 0 : slash + 1) + kTempInfix;
  MakeFolders(m_folder);
  Lock lock(*this);
  if (lock.Held()) SweepTemporaries();
}

RegistryLinux::~RegistryLinux() = default;

std::string RegistryLinux::DefaultPath() {
  std::string base;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && dataHome[0] == '/') {
    base = dataHome;  // a relative value is to be ignored
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      const passwd* entry = getpwuid(getuid());
      home = entry && entry->pw_dir ? entry->pw_dir : ".";
    }
    base = std::string(home) + "/.local/share";
  }
  return base + "/mailhost/registry.reg";
}

RegistryLinux::Stamp RegistryLinux::StampOf(const struct stat& info) {
  Stamp stamp;
  stamp.exists = true;
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  stamp.size = info.st_size;
  stamp.modified =
      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  stamp.changed =
      static_cast<std::int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
  return stamp;
}

bool RegistryLinux::Refresh(bool locked) {
  if (!locked) {
    // The stamp only guards reads; under the lock the content decides, since an
    // inode number can come back with the same size within one clock tick.
    struct stat info;
    Stamp now;
    if (stat(m_path.c_str(), &info) == 0) {
      now = StampOf(info);
    } else if (errno != ENOENT) {
      return false;
    }
    if (m_loaded && now == m_stamp) return true;
  }
  std::string bytes;
  struct stat info {};
  const int error = ReadWhole(m_path, &bytes, &info);
  if (error == ENOENT) return Load(std::string(), Stamp{}, locked);
  if (error != 0) return false;
  return Load(bytes, StampOf(info), locked);
}

bool RegistryLinux::Load(const std::string& bytes, const Stamp& stamp, bool locked) {
  if (m_loaded && bytes == m_bytes) {
    m_stamp = stamp;
    return true;
  }
  RegistryTree fresh;
  std::string error;
  if (ParseRegFile(bytes, &fresh, &error)) {
    m_tree.ReplaceContent(std::move(fresh));
    m_bytes = bytes;
    m_stamp = stamp;
    m_loaded = true;
    return true;
  }
  if (!locked) {
    // Moving the file aside needs the lock; the file may also have been
    // replaced by a good one meanwhile.
    Lock lock(*this);
    return lock.Held() && Refresh(true);
  }
  if (!MoveAside(error)) return false;
  m_tree.Clear();
  m_bytes.clear();
  m_stamp = Stamp{};
  m_loaded = true;
  return true;
}

bool RegistryLinux::MoveAside(const std::string& reason) {
  int error = 0;
  for (int number = 0;; ++number) {
    std::string target = m_path + kCorruptSuffix;
    if (number > 0) target += "." + std::to_string(number);
    error = RenameNoReplace(m_path, target);
    if (error == EEXIST) continue;
    if (error != 0) break;
    SyncFolder(m_folder);
    std::fprintf(stderr, kCorruptMovedMessage, m_path.c_str(), reason.c_str(), target.c_str());
    return true;
  }
  if (!m_reportedUnmovable) {
    std::fprintf(stderr, kCorruptKeptMessage, m_path.c_str(), reason.c_str(), std::strerror(error));
    m_reportedUnmovable = true;
  }
  return false;
}

std::int32_t RegistryLinux::WriteAtomically(const std::string& bytes) {
  std::string temp;
  int fd = -1;
  while (fd < 0) {
    temp = m_folder + "/" + m_tempPrefix + std::to_string(getpid()) + "." +
           std::to_string(m_tempCounter++);
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
    if (fd < 0 && errno != EEXIST) return StatusOf(errno);
  }
  bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
  int error = ok ? 0 : errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && rename(temp.c_str(), m_path.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    return StatusOf(error);
  }
  SyncFolder(m_folder);
  return kErrorSuccess;
}

void RegistryLinux::SweepTemporaries() {
  DIR* folder = opendir(m_folder.c_str());
  if (!folder) return;
  while (const dirent* entry = readdir(folder)) {
    if (std::strncmp(entry->d_name, m_tempPrefix.c_str(), m_tempPrefix.size()) == 0) {
      unlinkat(dirfd(folder), entry->d_name, 0);
    }
  }
  closedir(folder);
}

template <typename Change>
std::int32_t RegistryLinux::Mutate(Change change) {
  Lock lock(*this);
  if (!lock.Held()) return StatusOf(lock.Error());
  if (!Refresh(true)) return kErrorWriteFault;
  const std::uint64_t before = m_tree.Generation();
  const std::int32_t status = change();
  // cppcheck-suppress knownConditionTrueFalse ; change() moves the generation
  if (m_tree.Generation() == before) return status;
  const std::string bytes = WriteRegFile(m_tree);
  if (const std::int32_t written = WriteAtomically(bytes); written != kErrorSuccess) {
    m_loaded = false;  // the next call re-reads the file and so drops the unsaved change
    return written;
  }
  m_bytes = bytes;
  struct stat info;
  m_stamp = stat(m_path.c_str(), &info) == 0 ? StampOf(info) : Stamp{};
  return status;
}

std::int32_t RegistryLinux::OpenKey(HKey root, const std::string& path, HKey* result) {
  Refresh(false);
  return m_tree.OpenKey(root, path, result);
}

std::int32_t RegistryLinux::CreateKey(HKey root, const std::string& path, HKey* result) {
  // Opening an existing key needs neither the lock nor a write.
  Refresh(false);
  const std::int32_t opened = m_tree.OpenKey(root, path, result);
  if (opened != kErrorFileNotFound && opened != kErrorKeyDeleted) return opened;
  HKey created = 0;
  const std::int32_t status = Mutate([&] { return m_tree.CreateKey(root, path, &created); });
  if (status != kErrorSuccess && created != 0 && created != root) m_tree.CloseKey(created);
  if (result) *result = status == kErrorSuccess ? created : 0;
  return status;
}

std::int32_t RegistryLinux::QueryValue(HKey key, const std::string& name, std::uint32_t* type,
                                       std::uint8_t* data, std::uint32_t* size) {
  Refresh(false);
  return m_tree.QueryValue(key, name, type, data, size);
}

std::int32_t RegistryLinux::SetValue(HKey key, const std::string& name, std::uint32_t type,
                                     const std::uint8_t* data, std::uint32_t size) {
  return Mutate([&] { return m_tree.SetValue(key, name, type, data, size); });
}

std::int32_t RegistryLinux::CloseKey(HKey key) {
  return m_tree.CloseKey(key);
}

std::int32_t RegistryLinux::DeleteValue(HKey key, const std::string& name) {
  return Mutate([&] { return m_tree.DeleteValue(key, name); });
}

std::int32_t RegistryLinux::DeleteTree(HKey root, const std::string& path) {
  return Mutate([&] { return m_tree.DeleteTree(root, path); });
}

std::int32_t RegistryLinux::ListValues(HKey key, std::vector<RegValue>* values) {
  Refresh(false);
  return m_tree.ListValues(key, values);
}

std::int32_t RegistryLinux::ListSubkeys(HKey key, std::vector<std::string>* names) {
  Refresh(false);
  return m_tree.ListSubkeys(key, names);
}

}  // namespace platform
