#include "host/store/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace mailhost {

bool ReadWholeFile(const std::string& path, std::string* content) {
  // Looked at after the open, not before: another program may rename a FIFO
  // or a link onto the name in between, and opening a FIFO would wait for a
  // writer. A regular file ignores O_NONBLOCK.
  Fd file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
  if (file.fd < 0) return false;
  struct stat info {};
  if (fstat(file.fd, &info) != 0) return false;
  if (!S_ISREG(info.st_mode)) {
    errno = EINVAL;
    return false;
  }
  if (info.st_size > 0) content->reserve(content->size() + static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(file.fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got == 0;
    content->append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace mailhost
