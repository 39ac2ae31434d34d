#include "tests/support/ReadOnlyFolder.h"

#include <sys/mount.h>

#include <cerrno>
#include <cstring>

namespace testsupport {

ReadOnlyFolder::ReadOnlyFolder(const std::string& folder) : m_folder(folder) {
  if (mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    m_why = "cannot mount a read-only folder here: " + std::string(std::strerror(errno));
    return;
  }
  m_mounted = true;
  if (mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
    m_why = "cannot make a folder read-only here: " + std::string(std::strerror(errno));
}

ReadOnlyFolder::~ReadOnlyFolder() {
  // Detached, so that a file a test left open cannot keep it mounted.
  if (m_mounted) umount2(m_folder.c_str(), MNT_DETACH);
}

}  // namespace testsupport
