#include "host/store/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace mailhost {

bool ReadWholeFile(const std::string& path, std::string* content) {
  Fd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.fd < 0) return false;
  struct stat info {};
  if (fstat(file.fd, &info) == 0 && info.st_size > 0)
    content->reserve(content->size() + static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(file.fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got == 0;
    content->append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace mailhost
