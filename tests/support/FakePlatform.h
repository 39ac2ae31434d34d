#pragma once
// The deterministic platform, installed for the length of a test, with the
// add-in folder pointed at the one the build laid out.
#include <string>

#include "platform/fake/FakeIntegration.h"

namespace testsupport {

class FakePlatform : public platform::FakeIntegration {
 public:
  FakePlatform();
  ~FakePlatform() override;
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  // Installs the set again after a test swapped a service in it.
  void Reinstall();

  // The text of the last box shown, or "" when none was.
  std::string LastBoxText() const;
};

}  // namespace testsupport
