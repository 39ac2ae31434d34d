#pragma once
// The deterministic platform, installed for the length of a test, with the
// add-in folder pointed at the one the build laid out.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>

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
  // Puts `service` in the set instead of what is there until the guard goes.
  template <typename T>
  [[nodiscard]] std::shared_ptr<void> Use(T* platform::Services::*slot, T* service) {
    T* previous = std::exchange(GetServices().*slot, service);
    Reinstall();
    return std::shared_ptr<void>(nullptr, [this, slot, previous](void*) {
      GetServices().*slot = previous;
      Reinstall();
    });
  }

  // The text of the last box shown, or "" when none was.
  std::string LastBoxText() const;

  // Runs what other threads post to the loop until `done`; false when that
  // has not happened within `limit` of real time (a hang, not a slow machine).
  bool RunUntil(const std::function<bool()>& done,
                std::chrono::seconds limit = std::chrono::seconds(60));
};

}  // namespace testsupport
