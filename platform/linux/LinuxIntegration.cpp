#include "platform/linux/LinuxIntegration.h"

#include <cstdlib>

namespace platform {

LinuxIntegration::LinuxIntegration(const std::string& registryPath)
    : registry(registryPath.empty() ? RegistryLinux::DefaultPath() : registryPath) {
  m_services.registry = &registry;
  m_services.loop = &loop;
  m_services.clipboard = &clipboard;
  m_services.pictures = &pictures;
  m_services.shell = &shell;
  m_services.files = &files;
  m_services.http = &http;
  m_services.icmp = &icmp;
  m_services.processes = &processes;
  m_services.windows = &windows;
  m_services.media = &media;
  m_services.waveIn = &waveIn;
  if (const char* caFile = std::getenv(kCaFileVariable); caFile && *caFile) http.SetCaFile(caFile);
}

void LinuxIntegration::SetNoticeSink(NoticeSink sink) {
  registry.SetNoteSink(sink);
  media.onNotice = std::move(sink);
}

}  // namespace platform
