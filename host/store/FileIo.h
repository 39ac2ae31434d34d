#pragma once
// The few file operations the store's files share.
#include <unistd.h>

#include <string>

namespace mailhost {

// Closes the descriptor it holds.
struct Fd {
  int fd = -1;
  explicit Fd(int value) : fd(value) {}
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

// Appends the whole file to `content`; false, with errno set, when it cannot be
// opened or read, or is no regular file (a link is not followed).
bool ReadWholeFile(const std::string& path, std::string* content);

}  // namespace mailhost
