#pragma once
// A disk of a few hundred kilobytes mounted on a test's folder, to fill up:
// how the add-in behaves when there is no space left is tested on a real
// file system, not on a file-system fake. Mounting needs root; a test
// checks Mounted() first and skips with Why() elsewhere.
#include <cstddef>
#include <string>

namespace testsupport {

class SmallDisk {
 public:
  // A tmpfs of `bytes` over `folder` (whose content it hides until unmounted).
  SmallDisk(const std::string& folder, std::size_t bytes);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool Mounted() const { return m_mounted; }
  const std::string& Why() const { return m_why; }

  // Fills the disk with a file of its own until at most `leave` bytes are free.
  void Fill(std::size_t leave = 0);
  // Removes that file again.
  void Free();

 private:
  std::string m_folder;
  std::string m_filler;
  bool m_mounted = false;
  std::string m_why;
};

}  // namespace testsupport
