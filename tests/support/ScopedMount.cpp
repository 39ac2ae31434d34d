#include "tests/support/ScopedMount.h"

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>

namespace testsupport {
namespace {

std::string NotPermitted(const std::string& what) {
  return what + " cannot be mounted here: " + std::strerror(errno);
}

}  // namespace

ScopedMount ScopedMount::Tmpfs(const std::string& folder, const std::string& size) {
  ScopedMount mounted;
  const std::string options = "size=" + size + ",mode=0700";
  if (mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
    mounted.m_why = NotPermitted("a tmpfs");
  } else {
    mounted.m_folder = folder;
  }
  return mounted;
}

ScopedMount ScopedMount::ReadOnly(const std::string& folder) {
  ScopedMount mounted;
  if (mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    mounted.m_why = NotPermitted("a read-only folder");
    return mounted;
  }
  mounted.m_folder = folder;
  if (mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
    mounted.m_why = NotPermitted("a read-only folder");
  return mounted;
}

ScopedMount::ScopedMount(ScopedMount&& other) noexcept
    : m_folder(std::exchange(other.m_folder, {})), m_why(std::move(other.m_why)) {}

ScopedMount::~ScopedMount() {
  if (!m_folder.empty()) umount2(m_folder.c_str(), MNT_DETACH);
}

void FillUp(const std::string& path) {
  std::ofstream filler(path, std::ios::binary);
  const std::string block(4096, 'x');
  while (filler.write(block.data(), block.size())) filler.flush();
}

}  // namespace testsupport
