#include "tests/support/FakePlatform.h"

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

}  // namespace testsupport
