#include "host/web/PageUpload.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "host/web/PageLimits.h"
#include "platform/common/DurableFile.h"

namespace mailhost {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLongestName = 255;  // bytes of a file name on Linux
constexpr auto kLeftBehind = std::chrono::hours(1);
constexpr const char* kNoName = "An attachment needs a file name.";
constexpr const char* kCutOff = "The upload of the file was cut off; nothing was attached.";
constexpr const char* kCannotKeep = "Cannot keep the uploaded file: ";

}  // namespace

UploadedFile::~UploadedFile() {
  std::error_code ec;
  fs::remove(m_path, ec);
  fs::remove(m_folder, ec);
}

std::string UploadName(const std::string& given) {
  const auto slash = given.find_last_of("/\\");
  std::string name = slash == std::string::npos ? given : given.substr(slash + 1);
  if (name.empty() || name == "." || name == ".." || name.size() > kLongestName) return {};
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) return {};
  }
  return name;
}

std::string Uploads::TooLarge(const std::string& name) const {
  return name + " is larger than " + SizeText(m_cap) +
         ", the most mailhost attaches from the page (mailhost --upload-limit MIB sets "
         "another); nothing was attached.";
}

void Uploads::Sweep() const {
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  for (const auto& entry : fs::directory_iterator(m_folder, ec)) {
    const auto changed = entry.last_write_time(ec);
    if (!ec && now - changed > kLeftBehind) fs::remove_all(entry.path(), ec);
  }
}

UploadResult Uploads::Receive(const std::string& given, std::optional<std::size_t> length,
                              const Reader& read) const {
  const std::string name = UploadName(given);
  if (name.empty()) {
    read([](const char*, std::size_t) { return true; });  // the rest of the body, unkept
    return {nullptr, 400, kNoName};
  }
  if (length && *length > m_cap) {
    read([](const char*, std::size_t) { return true; });
    return {nullptr, 413, TooLarge(name)};
  }

  std::error_code ec;
  fs::create_directories(m_folder, ec);
  std::string folder = m_folder + "/XXXXXX";
  if (!mkdtemp(folder.data()))
    return {nullptr, 507, kCannotKeep + std::string(std::strerror(errno))};
  const std::string path = folder + "/" + name;
  auto file = std::make_shared<UploadedFile>(folder, path);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return {nullptr, 507, kCannotKeep + std::string(std::strerror(errno))};

  std::size_t received = 0;
  bool tooLarge = false;
  int writeError = 0;
  const bool whole = read([&](const char* data, std::size_t n) {
    received += n;
    if (received > m_cap) {
      tooLarge = true;
      return false;
    }
    if (!platform::WriteAll(fd, data, n)) {
      writeError = errno;
      return false;
    }
    return true;
  });
  if (close(fd) != 0 && !writeError) writeError = errno;
  // `file` removes what was written when it is not handed on.
  if (tooLarge) return {nullptr, 413, TooLarge(name)};
  if (writeError) return {nullptr, 507, kCannotKeep + std::string(std::strerror(writeError))};
  if (!whole || (length && received != *length)) return {nullptr, 400, kCutOff};
  return {file, 200, {}};
}

}  // namespace mailhost
