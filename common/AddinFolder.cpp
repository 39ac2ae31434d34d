#include "common/AddinFolder.h"

#include "platform/Platform.h"

namespace sonvera {

std::string AddinFolder() {
  static const char kAnchor = 0;  // any address inside this library
  return platform::FolderOf(platform::GetFiles().ModulePathOf(&kAnchor));
}

std::string FileIn(const std::string& folder, const std::string& backslashName) {
  std::string name = backslashName;
  if (!name.empty() && name.front() == '\\') name.erase(0, 1);
  return folder + platform::kPathSeparator + name;
}

std::string AddinFile(const std::string& backslashName) {
  return FileIn(AddinFolder(), backslashName);
}

}  // namespace sonvera
