#pragma once
// A test's folder made read-only in place (a read-only bind mount of
// itself), as a Maildir on a read-only disk is: root writes through mere
// permissions, so only a mount shows it. Mounting needs root; a test checks
// Mounted() first and skips with Why() elsewhere.
#include <string>

namespace testsupport {

class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(const std::string& folder);
  ~ReadOnlyFolder();
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

  bool Mounted() const { return m_mounted && m_why.empty(); }
  const std::string& Why() const { return m_why; }

 private:
  std::string m_folder;
  bool m_mounted = false;
  std::string m_why;
};

}  // namespace testsupport
