#pragma once
// A file system mounted on a test's folder for the length of the test, for
// what only a real one shows: a full disk, a read-only Maildir. Mounting
// needs root; where it is not permitted, Why() says so and the test skips.
#include <string>

namespace testsupport {

class ScopedMount {
 public:
  // An empty tmpfs of `size` ("512k") on `folder`.
  static ScopedMount Tmpfs(const std::string& folder, const std::string& size);
  // `folder` as it is, read-only from now on.
  static ScopedMount ReadOnly(const std::string& folder);

  ~ScopedMount();
  ScopedMount(ScopedMount&& other) noexcept;
  ScopedMount(const ScopedMount&) = delete;
  ScopedMount& operator=(const ScopedMount&) = delete;
  ScopedMount& operator=(ScopedMount&&) = delete;

  // Why the mount could not be made, or "" when it is there.
  const std::string& Why() const { return m_why; }

 private:
  ScopedMount() = default;
  std::string m_folder;  // "" when nothing is mounted
  std::string m_why;
};

// Writes a file at `path` until the file system takes no more.
void FillUp(const std::string& path);

}  // namespace testsupport
