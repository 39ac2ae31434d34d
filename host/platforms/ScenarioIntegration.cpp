#include "host/platforms/ScenarioIntegration.h"

namespace mailhost {

ScenarioIntegration::ScenarioIntegration(const std::string& registryPath) : real(registryPath) {
  m_services = real.GetServices();
  const platform::Services& fakes = fake.GetServices();
  m_services.loop = fakes.loop;
  m_services.boxes = fakes.boxes;
  m_services.shell = fakes.shell;
  m_services.clipboard = fakes.clipboard;
  m_services.media = fakes.media;
}

}  // namespace mailhost
