#pragma once
// The deterministic platform, a whole working one rather than a pile of
// mocks: virtual time, boxes answered from a queue, a registry in memory,
// scripted network and processes. Pictures and short paths use the real
// file system, which tests control through their scratch folders.
#include "platform/Platform.h"
#include "platform/common/BitmapPictures.h"
#include "platform/common/DesktopWindows.h"
#include "platform/common/MemoryClipboard.h"
#include "platform/fake/FakeFiles.h"
#include "platform/fake/FakeHttp.h"
#include "platform/fake/FakeIcmp.h"
#include "platform/fake/FakeMedia.h"
#include "platform/fake/FakeMessageBoxes.h"
#include "platform/fake/FakeMicrophone.h"
#include "platform/fake/FakeProcesses.h"
#include "platform/fake/FakeRegistry.h"
#include "platform/fake/FakeShell.h"
#include "platform/fake/FakeWaveIn.h"
#include "platform/fake/VirtualEventLoop.h"

namespace platform {

class FakeIntegration : public Integration {
 public:
  static constexpr const char* kName = "fake";

  FakeIntegration();
  const char* Name() const override { return kName; }

  VirtualEventLoop loop;
  FakeMessageBoxes boxes;
  MemoryClipboard clipboard;
  BitmapPictures pictures;
  FakeShell shell;
  FakeFiles files;
  FakeRegistry registry;
  // No name resolves until a test adds one, so an update check stays silent.
  FakeIcmp icmp;
  FakeHttp http;
  FakeProcesses processes;
  // One microphone for the media device and the meter's capture.
  FakeMicrophone microphone;
  FakeMedia media{loop, microphone};
  FakeWaveIn waveIn{loop, microphone};
  DesktopWindows windows;
};

}  // namespace platform
