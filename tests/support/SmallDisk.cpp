#include "tests/support/SmallDisk.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace testsupport {

SmallDisk::SmallDisk(const std::string& folder, std::size_t bytes)
    : m_folder(folder), m_filler(folder + "/.filler") {
  if (geteuid() != 0) {
    m_why = "mounting a small disk needs root";
    return;
  }
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
    m_why = "cannot mount a small disk here: " + std::string(std::strerror(errno));
    return;
  }
  m_mounted = true;
}

SmallDisk::~SmallDisk() {
  // Detached, so that a file a test left open cannot keep the disk mounted.
  if (m_mounted) umount2(m_folder.c_str(), MNT_DETACH);
}

void SmallDisk::Fill(std::size_t leave) {
  const int fd = open(m_filler.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  std::vector<char> block(4096, 'x');
  off_t size = lseek(fd, 0, SEEK_END);
  for (;;) {
    const ssize_t wrote = write(fd, block.data(), block.size());
    if (wrote <= 0) break;
    size += wrote;
  }
  if (leave > 0) ftruncate(fd, size > static_cast<off_t>(leave) ? size - leave : 0);
  close(fd);
}

void SmallDisk::Free() {
  unlink(m_filler.c_str());
}

}  // namespace testsupport
