#pragma once
// The platform integrations mailhost can run on, chosen by name as a toolkit
// chooses its platform plugin: `linux` (the real machine), `fake` (the
// deterministic platform, whole) and `scenario` (the mix that `--script`
// plays on). Nothing of an integration runs unless it is named.
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace mailhost {

// `registryPath` "" is the user's own registry file where the integration
// keeps a real one. Throws platform::Error for a name no integration has.
std::unique_ptr<platform::Integration> CreateIntegration(const std::string& name,
                                                         const std::string& registryPath);
std::vector<std::string> IntegrationNames();

}  // namespace mailhost
