#include "platform/Registry.h"

#include <cerrno>
#include <cstring>

namespace platform {

std::string RegistryStatusText(std::int32_t status) {
  switch (status) {
    case kErrorSuccess:
      return "";
    case kErrorDiskFull:
      return std::strerror(ENOSPC);
    case kErrorAccessDenied:
      return std::strerror(EACCES);
    case kErrorWriteFault:
      return std::strerror(EIO);
    case kErrorFileNotFound:
      return std::strerror(ENOENT);
    default:
      return "Registry error " + std::to_string(status);
  }
}

}  // namespace platform
