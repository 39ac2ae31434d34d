#include "host/web/PageSecret.h"

#include <openssl/crypto.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/Error.h"
#include "platform/common/DurableFile.h"

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
  // Made afresh each time, so never with a mode another file left behind.
  std::string failed;
  if (const int error =
          platform::ReplaceFile(path, token + "\n", 0600, platform::Flush::Durable, &failed))
    throw platform::Error("Cannot write " + failed + ": " + Reason(error));
}

void RemoveTokenFile(const std::string& path, const std::string& token) {
  std::ifstream in(path);
  std::string held;
  if (in >> held && held == token) unlink(path.c_str());
}

}  // namespace mailhost
