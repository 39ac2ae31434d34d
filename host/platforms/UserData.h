#pragma once
#include <filesystem>
#include <string>

namespace mailhost {

// The registry file of a run with --data DIR, the folder made if missing;
// "" for the user's own registry.
inline std::string RegistryFileIn(const std::string& dataFolder) {
  if (dataFolder.empty()) return {};
  std::error_code ec;
  std::filesystem::create_directories(dataFolder, ec);  // a failure shows when the file is read
  return dataFolder + "/registry.reg";
}

}  // namespace mailhost
