#include "common/FileChecks.h"

#include <filesystem>
#include <system_error>

#include "platform/Error.h"

namespace sonvera {

namespace fs = std::filesystem;

bool FileExists(const std::string& path) {
  std::error_code error;
  return !path.empty() && fs::exists(fs::symlink_status(path, error)) && !error;
}

std::uintmax_t FileLength(const std::string& path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  if (error) throw platform::Error("File not found: " + path);
  return size;
}

void KillFile(const std::string& path) {
  std::error_code error;
  if (!fs::remove(path, error) || error)
    throw platform::Error("Cannot delete " + path + (error ? ": " + error.message() : ""));
}

}  // namespace sonvera
