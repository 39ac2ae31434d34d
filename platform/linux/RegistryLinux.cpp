#include "platform/linux/RegistryLinux.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#include "platform/Files.h"
#include "platform/common/DurableFile.h"
#include "platform/linux/RegFile.h"

namespace platform {
namespace {

constexpr const char* kSkippedLineNote = "the registry file %s: line %zu skipped (%s): \"%s\"";
constexpr const char* kFileProblemNote = "the registry file %s: %s";
constexpr const char* kMoreSkippedNote = "the registry file %s: %zu more lines skipped";
constexpr const char* kCopyNote = "the registry file %s: its original is kept as %s";
constexpr const char* kUnreadableNote =
    "the registry file %s cannot be read (%s); the registry lives in memory for this run";
constexpr const char* kUnwritableNote =
    "the registry file %s cannot be written (%s); the registry lives in memory for this run";
constexpr const char* kNoCopyNote =
    "the registry file %s has lines that were skipped, and no copy of it could be kept (%s); "
    "the registry lives in memory for this run";
constexpr const char* kTooBig = "it is larger than 64 MiB";
constexpr std::size_t kNamedProblems = 10;  // more would bury the console
constexpr const char* kCopyInfix = ".bad-";
constexpr const char* kLockSuffix = ".lock";
constexpr int kMaxLinks = 40;  // as the kernel's own limit
constexpr mode_t kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string out(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  std::vsnprintf(out.data(), out.size() + 1, format, again);
  va_end(again);
  return out;
}

// A skipped line as the console can show it: control bytes spelled out.
std::string Printable(std::string_view text, bool cut) {
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      out += Format("\\x%02x", byte);
    } else {
      if (c == '"' || c == '\\') out.push_back('\\');
      out.push_back(c);
    }
  }
  if (cut) out += "...";
  return out;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::int32_t StatusOf(int error) {
  if (error == ENOSPC || error == EDQUOT) return kErrorDiskFull;
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

const char* NotRegular(mode_t mode) {
  if (S_ISFIFO(mode)) return "it is a FIFO, not a regular file";
  if (S_ISDIR(mode)) return "it is a folder, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
  if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
  return "it is not a regular file";
}

// Reads a whole regular file of at most kMaxFileSize bytes. Returns "" or why
// not; *missing tells that there is no file at all.
std::string ReadFile(const std::string& path, std::string* bytes, struct stat* info,
                     bool* missing) {
  *missing = false;
  // Looked at before it is opened: opening a device may do something, and
  // opening a FIFO waits for a writer.
  if (stat(path.c_str(), info) != 0) {
    *missing = errno == ENOENT;
    return std::strerror(errno);
  }
  if (!S_ISREG(info->st_mode)) return NotRegular(info->st_mode);
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *missing = errno == ENOENT;
    return std::strerror(errno);
  }
  std::string reason;
  if (fstat(fd, info) != 0) {
    reason = std::strerror(errno);
  } else if (!S_ISREG(info->st_mode)) {
    reason = NotRegular(info->st_mode);  // replaced between the two looks
  } else if (info->st_size > RegistryLinux::kMaxFileSize) {
    reason = kTooBig;
  } else {
    bytes->clear();
    bytes->reserve(static_cast<std::size_t>(info->st_size));
    char buffer[65536];
    for (;;) {
      const ssize_t got = read(fd, buffer, sizeof buffer);
      if (got > 0) {
        bytes->append(buffer, static_cast<std::size_t>(got));
        // It may grow while it is read.
        if (bytes->size() > static_cast<std::size_t>(RegistryLinux::kMaxFileSize)) {
          reason = kTooBig;
          break;
        }
      } else if (got == 0) {
        break;
      } else if (errno != EINTR) {
        reason = std::strerror(errno);
        break;
      }
    }
  }
  close(fd);
  return reason;
}

// Why the store could not replace the file, or "".
std::string WhyNotWritable(const std::string& file, const std::string& folder) {
  // The rename needs the folder; the file's own mode says whether its owner
  // means it to be changed.
  if (access(folder.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
  if (access(file.c_str(), W_OK) != 0 && errno != ENOENT) return std::strerror(errno);
  return "";
}

}  // namespace

// The exclusive lock of one change, on a file of its own beside the registry
// file: the registry file itself is replaced by every write, so a lock on it
// would lock a file that is no longer the registry.
class RegistryLinux::Lock {
 public:
  explicit Lock(const Target& target) {
    const std::string path = target.file + kLockSuffix;
    m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kFileMode);
    if (m_fd < 0 && errno == ENOENT) {
      MakeFolders(target.folder);
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
  const Target target = Resolve();
  MakeFolders(target.folder);
  std::string unwritable;
  {
    Lock lock(target);
    if (lock.Held()) {
      // Temporary files left by killed writers.
      if (DIR* folder = opendir(target.folder.c_str())) {
        while (const dirent* entry = readdir(folder)) {
          if (std::strncmp(entry->d_name, target.tempPrefix.c_str(), target.tempPrefix.size()) ==
              0) {
            unlinkat(dirfd(folder), entry->d_name, 0);
          }
        }
        closedir(folder);
      }
      unwritable = WhyNotWritable(target.file, target.folder);
    } else {
      unwritable = std::strerror(lock.Error());
    }
    // Read-only, the store must not try to keep a copy or to lock again.
    m_memoryOnly = !unwritable.empty();
    Refresh(lock.Held());
  }
  // Not said again when the file could not even be read.
  if (!unwritable.empty() && !m_saidInMemory) InMemoryFromNowOn(kUnwritableNote, unwritable);
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
  // In a batch this store holds the lock: no one else has written meanwhile.
  if (m_loaded && (m_memoryOnly || m_batchLock)) return true;
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
  bool missing = false;
  const std::string reason = ReadFile(m_path, &bytes, &info, &missing);
  if (missing) return Load(std::string(), Stamp{}, locked);
  if (!reason.empty()) {
    if (m_loaded) return false;  // the cache stays; a change then fails
    InMemoryFromNowOn(kUnreadableNote, reason);
    return true;
  }
  return Load(bytes, StampOf(info), locked);
}

bool RegistryLinux::Load(const std::string& bytes, const Stamp& stamp, bool locked) {
  if (m_loaded && bytes == m_bytes) {
    m_stamp = stamp;
    return true;
  }
  RegistryTree fresh;
  std::vector<RegFileProblem> problems;
  if (!ParseRegFile(bytes, &fresh, &problems)) {
    if (!locked && !m_memoryOnly) {
      // The copy is made under the lock; the file may also have been replaced
      // by a good one meanwhile.
      Lock lock(Resolve());
      if (lock.Held()) return Refresh(true);
    }
    for (std::size_t i = 0; i < problems.size() && i < kNamedProblems; ++i) {
      const RegFileProblem& p = problems[i];
      if (p.line == 0) {
        Note(Format(kFileProblemNote, m_path.c_str(), p.problem.c_str()));
      } else {
        const bool cut = p.text.size() >= kProblemTextLimit;
        Note(Format(kSkippedLineNote, m_path.c_str(), p.line, p.problem.c_str(),
                    Printable(p.text, cut).c_str()));
      }
    }
    if (problems.size() > kNamedProblems) {
      Note(Format(kMoreSkippedNote, m_path.c_str(), problems.size() - kNamedProblems));
    }
    if (!m_memoryOnly) {
      std::string copy;
      const std::string why = locked ? KeepCopy(bytes, &copy) : "the lock cannot be taken";
      if (why.empty()) {
        Note(Format(kCopyNote, m_path.c_str(), copy.c_str()));
      } else {
        // Rewriting would lose the skipped lines for good.
        InMemoryFromNowOn(kNoCopyNote, why);
      }
    }
  }
  ReplaceContent(std::move(fresh));
  m_bytes = bytes;
  m_stamp = stamp;
  m_loaded = true;
  return true;
}

std::string RegistryLinux::KeepCopy(const std::string& bytes, std::string* copy) const {
  const Target target = Resolve();
  const std::string prefix = BaseName(target.file) + kCopyInfix;
  // The same damaged file, seen again, keeps its first copy.
  if (DIR* folder = opendir(target.folder.c_str())) {
    while (const dirent* entry = readdir(folder)) {
      if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) continue;
      const std::string path = target.folder + "/" + entry->d_name;
      std::string earlier;
      struct stat info;
      bool missing = false;
      if (ReadFile(path, &earlier, &info, &missing).empty() && earlier == bytes) {
        *copy = path;
        closedir(folder);
        return "";
      }
    }
    closedir(folder);
  }
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
  int error = EEXIST;
  for (int number = 0; error == EEXIST; ++number) {
    *copy = target.folder + "/" + prefix + stamp;
    if (number > 0) *copy += "." + std::to_string(number);
    error = WriteNewFile(*copy, bytes, kFileMode);
  }
  if (error != 0) return std::strerror(error);
  SyncFolder(target.folder);
  return "";
}

void RegistryLinux::InMemoryFromNowOn(const char* format, const std::string& reason) {
  m_memoryOnly = true;
  m_saidInMemory = true;
  if (!m_loaded) {
    Clear();
    m_loaded = true;
  }
  Note(Format(format, m_path.c_str(), reason.c_str()));
}

void RegistryLinux::Note(std::string note) {
  if (m_sink) {
    m_sink(note);
  } else {
    m_notes.push_back(std::move(note));
  }
}

void RegistryLinux::SetNoteSink(NoteSink sink) {
  m_sink = std::move(sink);
  if (!m_sink) return;
  for (const std::string& note : std::exchange(m_notes, {})) m_sink(note);
}

RegistryLinux::Target RegistryLinux::Resolve() const {
  Target target;
  target.file = m_path;
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    char link[PATH_MAX];
    const ssize_t length = readlink(target.file.c_str(), link, sizeof link);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof link) break;
    const std::string to(link, static_cast<std::size_t>(length));
    target.file = to.front() == '/' ? to : FolderOf(target.file) + "/" + to;
  }
  target.folder = FolderOf(target.file);
  target.tempPrefix = BaseName(target.file) + kTempInfix;
  return target;
}

std::int32_t RegistryLinux::Save(const Target& target) {
  const std::string bytes = WriteRegFile(*this);
  if (const int error = ReplaceFile(target.file, bytes, kFileMode); error != 0) {
    m_loaded = false;  // the next call re-reads the file and so drops the unsaved change
    return StatusOf(error);
  }
  ++m_writes;
  m_bytes = bytes;
  struct stat info;
  m_stamp = stat(m_path.c_str(), &info) == 0 ? StampOf(info) : Stamp{};
  return kErrorSuccess;
}

std::int32_t RegistryLinux::Change(const std::function<std::int32_t()>& change) {
  if (m_memoryOnly || m_batchLock) return change();  // saved by EndBatch, or never
  const Target target = Resolve();
  Lock lock(target);
  if (!lock.Held()) return StatusOf(lock.Error());
  if (!Refresh(true)) return kErrorWriteFault;
  if (m_memoryOnly) return change();  // a damaged file that could not be copied
  const std::uint64_t before = Generation();
  const std::int32_t status = change();
  // cppcheck-suppress knownConditionTrueFalse ; change() moves the generation
  if (Generation() == before) return status;
  if (const std::int32_t written = Save(target); written != kErrorSuccess) return written;
  return status;
}

void RegistryLinux::BeginBatch() {
  if (m_batchDepth++ > 0 || m_memoryOnly) return;
  const Target target = Resolve();
  auto lock = std::make_unique<Lock>(target);
  // Without the lock each change tries on its own, and fails as it would alone.
  if (!lock->Held() || !Refresh(true) || m_memoryOnly) return;
  m_batchTarget = target;
  m_batchGeneration = Generation();
  m_batchLock = std::move(lock);
}

std::int32_t RegistryLinux::EndBatch() {
  if (m_batchDepth == 0) return kErrorSuccess;  // unbalanced: harmless
  if (--m_batchDepth > 0 || !m_batchLock) return kErrorSuccess;
  std::int32_t status = kErrorSuccess;
  if (Generation() != m_batchGeneration) status = Save(m_batchTarget);
  m_batchLock.reset();
  return status;
}

}  // namespace platform
