#include "common/FileChecks.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/Error.h"
#include "platform/Files.h"

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

std::string WhyCannotWrite(const std::string& folder) {
  const std::string probe = folder + platform::kPathSeparator + ".Sonvera.write-probe";
  errno = 0;
  std::FILE* file = std::fopen(probe.c_str(), "wb");
  if (!file) return std::strerror(errno ? errno : EIO);
  // Unbuffered, so the write itself meets the full disk.
  std::setvbuf(file, nullptr, _IONBF, 0);
  int error = 0;
  const char byte = 0;
  if (std::fwrite(&byte, 1, 1, file) != 1) error = errno ? errno : EIO;
  if (std::fclose(file) != 0 && !error) error = errno ? errno : EIO;
  std::remove(probe.c_str());
  return error ? std::strerror(error) : "";
}

}  // namespace sonvera
