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

std::string MaildirFor(const std::string& dataFolder, const std::string& maildir) {
  if (!maildir.empty()) return maildir;
  if (!dataFolder.empty()) return dataFolder + "/Maildir";
  return std::filesystem::path(platform::RegistryLinux::DefaultPath()).parent_path() / "Maildir";
}

}  // namespace mailhost
