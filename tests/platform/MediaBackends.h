#pragma once
// How the media contract suite drives each backend: its microphone, its
// loop, and how time passes there.
#include <functional>
#include <string>
#include <vector>

#include "platform/fake/FakeMedia.h"
#include "platform/fake/FakeMicrophone.h"
#include "platform/fake/VirtualEventLoop.h"
#include "tests/support/SoundFiles.h"

namespace platform {

struct FakeMediaBackend {
  static constexpr const char* kName = "Fake";
  // Virtual time is exact to the frame.
  static constexpr double kLengthTolerance = 0.0;

  VirtualEventLoop loop;
  FakeMicrophone microphone;
  FakeMedia media{loop, microphone};

  platform::Media& Media() { return media; }
  void UseMicrophone(const std::string& folder, const std::vector<short>& samples) {
    const std::string path = folder + "/microphone.wav";
    testsupport::WriteWav(path, samples);
    microphone.Play(path);
  }
  void Pass(Millis duration) { loop.AdvanceBy(duration); }
  // Watchdog: a minute of virtual time.
  bool RunUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 6000 && !done(); ++i) loop.AdvanceBy(Millis(10));
    return done();
  }
};

}  // namespace platform
