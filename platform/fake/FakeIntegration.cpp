#include "platform/fake/FakeIntegration.h"

namespace platform {

FakeIntegration::FakeIntegration() {
  m_services.registry = &registry;
  m_services.loop = &loop;
  m_services.boxes = &boxes;
  m_services.clipboard = &clipboard;
  m_services.pictures = &pictures;
  m_services.shell = &shell;
  m_services.files = &files;
  m_services.http = &http;
  m_services.icmp = &icmp;
  m_services.processes = &processes;
  m_services.media = &media;
}

}  // namespace platform
