#include "host/setup/UserData.h"

#include <filesystem>

#include "platform/linux/RegistryLinux.h"

namespace mailhost {

std::string RegistryFileIn(const std::string& dataFolder) {
  if (dataFolder.empty()) return {};
  std::error_code ec;
  std::filesystem::create_directories(dataFolder, ec);  // a failure shows when the file is read
  return dataFolder + "/registry.reg";
}

std::string DataFolderFor(const std::string& dataFolder) {
  if (!dataFolder.empty()) return dataFolder;
  return std::filesystem::path(platform::RegistryLinux::DefaultPath()).parent_path().string();
}

std::string MaildirFor(const std::string& dataFolder, const std::string& maildir) {
  if (!maildir.empty()) return maildir;
  return DataFolderFor(dataFolder) + "/Maildir";
}

}  // namespace mailhost
