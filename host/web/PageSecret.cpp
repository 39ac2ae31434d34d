#include "host/web/PageSecret.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/Error.h"

namespace mailhost {
namespace {

constexpr std::size_t kTokenBytes = 32;

std::string Reason(int error) {
  return std::strerror(error);
}

}  // namespace

std::string NewPageToken() {
  unsigned char bytes[kTokenBytes];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw platform::Error("The kernel gave no random bytes: " + Reason(errno));
    got += static_cast<std::size_t>(n);
  }
  static const char kHex[] = "0123456789abcdef";
  std::string token;
  for (unsigned char byte : bytes) {
    token += kHex[byte >> 4];
    token += kHex[byte & 0xF];
  }
  return token;
}

bool SameSecret(std::string_view given, std::string_view secret) {
  // The length is no secret: every token has the same.
  return given.size() == secret.size() && !secret.empty() &&
         CRYPTO_memcmp(given.data(), secret.data(), secret.size()) == 0;
}

void WriteTokenFile(const std::string& path, const std::string& token) {
  const auto folder = std::filesystem::path(path).parent_path();
  const std::string temp = path + ".tmp." + std::to_string(getpid());
  const std::string text = token + "\n";
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw platform::Error("Cannot write " + temp + ": " + Reason(errno));
  // O_CREAT keeps the mode of a file a killed run left behind.
  bool ok = fchmod(fd, 0600) == 0 &&
            write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
            fsync(fd) == 0;
  int error = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    throw platform::Error("Cannot write " + path + ": " + Reason(error));
  }
  const int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);  // the rename happened; a failure here only weakens durability
    close(dir);
  }
}

void RemoveTokenFile(const std::string& path, const std::string& token) {
  std::ifstream in(path);
  std::string held;
  if (in >> held && held == token) unlink(path.c_str());
}

}  // namespace mailhost
