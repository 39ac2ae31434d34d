#pragma once
// The whole deterministic platform, installed for the length of a test.
#include <memory>

#include "platform/BitmapPictures.h"
#include "platform/MemoryClipboard.h"
#include "platform/Platform.h"
#include "platform/fake/FakeHttp.h"
#include "platform/fake/FakeIcmp.h"
#include "platform/fake/FakeMessageBoxes.h"
#include "platform/fake/FakeProcesses.h"
#include "platform/fake/FakeRegistry.h"
#include "platform/fake/FakeShell.h"
#include "platform/fake/VirtualEventLoop.h"

namespace testsupport {

class FakePlatform {
 public:
  FakePlatform();
  ~FakePlatform();

  platform::VirtualEventLoop loop;
  platform::FakeMessageBoxes boxes;
  platform::MemoryClipboard clipboard;
  platform::BitmapPictures pictures;
  platform::FakeShell shell;
  platform::FakeRegistry registry;
  // No name resolves until a test adds one, so the update check stays silent.
  platform::FakeIcmp icmp;
  platform::FakeHttp http;
  platform::FakeProcesses processes;
  platform::Services services;

  // The text of the last box shown, or "" when none was.
  std::string LastBoxText() const;
};

}  // namespace testsupport
