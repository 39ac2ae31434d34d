#include "platform/linux/LinuxIntegration.h"

#include <cstdlib>

namespace platform {

LinuxIntegration::LinuxIntegration(const std::string& registryPath)
    : registry(registryPath.empty() ? RegistryLinux::DefaultPath() : registryPath) {
  OfferMembers(*this);
  if (const char* caFile = std::getenv(kCaFileVariable); caFile && *caFile) http.SetCaFile(caFile);
}

void LinuxIntegration::SetNoticeSink(NoticeSink sink) {
  registry.SetNoteSink(sink);
  media.onNotice = std::move(sink);
}

}  // namespace platform
