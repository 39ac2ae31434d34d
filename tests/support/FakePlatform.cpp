#include "tests/support/FakePlatform.h"

namespace testsupport {

FakePlatform::FakePlatform() {
  services.registry = &registry;
  services.loop = &loop;
  services.boxes = &boxes;
  services.clipboard = &clipboard;
  services.pictures = &pictures;
  services.shell = &shell;
  services.icmp = &icmp;
  services.http = &http;
  services.processes = &processes;
  platform::Install(&services);
}

FakePlatform::~FakePlatform() {
  platform::Install(nullptr);
}

std::string FakePlatform::LastBoxText() const {
  return boxes.Shown().empty() ? std::string() : boxes.Shown().back().request.text;
}

}  // namespace testsupport
