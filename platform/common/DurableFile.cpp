#include "platform/common/DurableFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/Files.h"

namespace platform {
namespace {

// Numbers the temporary files of this process, whichever object writes.
std::atomic<unsigned long> g_tempCounter{0};

// Removes `path` keeping the errno of the failure that made it go.
int Discard(const std::string& path, int error) {
  unlink(path.c_str());
  errno = error;
  return error;
}

int CreateExclusive(const std::string& path, mode_t mode) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}

// Writes, syncs and closes a file just made; a failure removes it.
int Fill(int fd, const std::string& path, std::string_view bytes, Flush flush) {
  if (!WriteAll(fd, bytes) || (flush == Flush::Durable && fsync(fd) != 0)) {
    const int error = errno;
    close(fd);
    return Discard(path, error);
  }
  if (close(fd) != 0) return Discard(path, errno);
  return 0;
}

}  // namespace

bool WriteAll(int fd, const void* data, std::size_t size) {
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t wrote = write(fd, at, size);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      if (wrote == 0) errno = EIO;
      return false;
    }
    at += wrote;
    size -= static_cast<std::size_t>(wrote);
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool RemoveFile(const std::string& path) {
  if (unlink(path.c_str()) != 0) return false;
  SyncFolder(FolderOf(path));
  return true;
}

int WriteNewFile(const std::string& path, std::string_view bytes, mode_t mode, Flush flush) {
  const int fd = CreateExclusive(path, mode);
  return fd < 0 ? errno : Fill(fd, path, bytes, flush);
}

int ReplaceFile(const std::string& path, std::string_view bytes, mode_t mode, Flush flush,
                std::string* failedFile) {
  const std::string prefix = path + kTempInfix + std::to_string(getpid()) + ".";
  std::string temp;
  int fd = -1;
  while (fd < 0) {
    temp = prefix + std::to_string(g_tempCounter++);
    fd = CreateExclusive(temp, mode);
    if (fd < 0 && errno != EEXIST) {
      if (failedFile) *failedFile = temp;
      return errno;
    }
  }
  int error = Fill(fd, temp, bytes, flush);
  if (error == 0 && rename(temp.c_str(), path.c_str()) != 0) error = Discard(temp, errno);
  if (error != 0) {
    if (failedFile) *failedFile = path;
    return error;
  }
  if (flush == Flush::Durable) SyncFolder(FolderOf(path));
  return 0;
}

}  // namespace platform
