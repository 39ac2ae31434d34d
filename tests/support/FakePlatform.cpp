#include "tests/support/FakePlatform.h"

#include <thread>

namespace testsupport {

FakePlatform::FakePlatform() {
  files.SetModulePath(std::string(SONVERA_TEST_ADDIN_DIR) + "/libsonvera.so");
  Reinstall();
}

FakePlatform::~FakePlatform() {
  platform::Install(nullptr);
}

void FakePlatform::Reinstall() {
  platform::Install(&GetServices());
}

std::string FakePlatform::LastBoxText() const {
  return boxes.Shown().empty() ? std::string() : boxes.Shown().back().request.text;
}

bool FakePlatform::RunUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    loop.RunPending();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace testsupport
