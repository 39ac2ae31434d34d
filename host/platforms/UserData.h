#pragma once
// Where a person's run keeps its data: the registry file and the Maildir.
#include <filesystem>
#include <string>

#include "platform/linux/RegistryLinux.h"

namespace mailhost {

// The registry file of a run with --data DIR, the folder made if missing;
// "" for the user's own registry.
inline std::string RegistryFileIn(const std::string& dataFolder) {
  if (dataFolder.empty()) return {};
  std::error_code ec;
  std::filesystem::create_directories(dataFolder, ec);  // a failure shows when the file is read
  return dataFolder + "/registry.reg";
}

// --maildir PATH as it is, else DIR/Maildir of --data DIR, else the one beside
// the user's registry ($XDG_DATA_HOME/mailhost/Maildir).
inline std::string MaildirFor(const std::string& dataFolder, const std::string& maildir) {
  if (!maildir.empty()) return maildir;
  if (!dataFolder.empty()) return dataFolder + "/Maildir";
  return std::filesystem::path(platform::RegistryLinux::DefaultPath()).parent_path() / "Maildir";
}

}  // namespace mailhost
