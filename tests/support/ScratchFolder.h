#pragma once
// A private temporary folder for one test, removed with everything in it.
#include <string>
#include <vector>

namespace testsupport {

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }

  void Write(const std::string& name, const std::string& content, bool executable = false) const;
  static std::string Read(const std::string& path);
  static bool Exists(const std::string& path);
  // The names in a folder, sorted.
  static std::vector<std::string> Names(const std::string& folder);

 private:
  std::string m_path;
};

}  // namespace testsupport
