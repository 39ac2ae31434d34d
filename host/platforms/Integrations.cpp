#include "host/platforms/Integrations.h"

#include "host/platforms/ScenarioIntegration.h"
#include "platform/Error.h"
#include "platform/fake/FakeIntegration.h"
#include "platform/linux/LinuxIntegration.h"

namespace mailhost {
namespace {

using Factory = std::unique_ptr<platform::Integration> (*)(const std::string& registryPath);

struct Entry {
  const char* name;
  Factory create;
};

const Entry kIntegrations[] = {
    {platform::LinuxIntegration::kName,
     [](const std::string& registryPath) -> std::unique_ptr<platform::Integration> {
       return std::make_unique<platform::LinuxIntegration>(registryPath);
     }},
    {platform::FakeIntegration::kName,
     [](const std::string&) -> std::unique_ptr<platform::Integration> {
       return std::make_unique<platform::FakeIntegration>();
     }},
    {ScenarioIntegration::kName,
     [](const std::string& registryPath) -> std::unique_ptr<platform::Integration> {
       return std::make_unique<ScenarioIntegration>(registryPath);
     }},
};

}  // namespace

std::unique_ptr<platform::Integration> CreateIntegration(const std::string& name,
                                                         const std::string& registryPath) {
  for (const auto& entry : kIntegrations) {
    if (name == entry.name) return entry.create(registryPath);
  }
  std::string known;
  for (const auto& entry : kIntegrations)
    known += std::string(known.empty() ? "" : ", ") + entry.name;
  throw platform::Error("There is no platform named " + name + " (" + known + ").");
}

std::vector<std::string> IntegrationNames() {
  std::vector<std::string> names;
  for (const auto& entry : kIntegrations) names.push_back(entry.name);
  return names;
}

}  // namespace mailhost
