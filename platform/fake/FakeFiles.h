#pragma once
// Paths for tests: short forms as the real file system has them, except for
// paths a test declares missing; the module path is whatever the test says,
// so the add-in's code, linked into a test, finds the add-in folder it is
// pointed at.
#include <set>
#include <string>

#include "platform/Files.h"

namespace platform {

class FakeFiles : public Files {
 public:
  std::optional<std::string> ShortPath(const std::string& path) override;
  std::string ModulePathOf(const void* address) override;

  void SetModulePath(std::string path) { m_modulePath = std::move(path); }
  // ShortPath of this path fails as for a path that does not exist.
  void Hide(const std::string& path) { m_hidden.insert(path); }

 private:
  std::string m_modulePath;
  std::set<std::string> m_hidden;
};

}  // namespace platform
