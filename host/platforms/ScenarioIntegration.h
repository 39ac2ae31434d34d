#pragma once
// The platform of `mailhost --script`: deterministic where a scenario must
// be repeatable (time, message boxes, the shell, the sound device and its
// microphone), real where the scenario
// tests the real thing (the registry file, files, the encoder and other
// programs, HTTP, ICMP).
#include <string>

#include "platform/Platform.h"
#include "platform/fake/FakeIntegration.h"
#include "platform/linux/LinuxIntegration.h"

namespace mailhost {

class ScenarioIntegration : public platform::Integration {
 public:
  static constexpr const char* kName = "scenario";

  explicit ScenarioIntegration(const std::string& registryPath);
  const char* Name() const override { return kName; }
  // The registry file is the real one; the sound device is deterministic.
  void SetNoticeSink(NoticeSink sink) override { real.registry.SetNoteSink(std::move(sink)); }

  platform::LinuxIntegration real;
  platform::FakeIntegration fake;
};

}  // namespace mailhost
