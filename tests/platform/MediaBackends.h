#pragma once
// How the media contract suite drives each backend: its microphone, its
// loop, and how time passes there.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/fake/FakeMedia.h"
#include "platform/fake/FakeMicrophone.h"
#include "platform/fake/VirtualEventLoop.h"
#include "platform/linux/AlsaMedia.h"
#include "platform/linux/PollEventLoop.h"
#include "platform/page/PageMedia.h"
#include "platform/page/PageSound.h"
#include "tests/support/ScriptedPage.h"
#include "tests/support/SoundFiles.h"

namespace platform {

// Wall-clock time on a real loop, for backends that run on one.
inline void PassOn(PollEventLoop& loop, Millis duration) {
  loop.SetTimer(duration, false, [&loop] { loop.Quit(); });
  loop.Run();
}
inline bool RunUntilOn(PollEventLoop& loop, const std::function<bool()>& done, Millis watchdog) {
  const TimerId check = loop.SetTimer(Millis(1), true, [&] {
    if (done()) loop.Quit();
  });
  const TimerId limit = loop.SetTimer(watchdog, false, [&loop] { loop.Quit(); });
  if (!done()) loop.Run();
  loop.KillTimer(check);
  loop.KillTimer(limit);
  return done();
}
struct OnPollLoop {
  PollEventLoop loop;
  void Pass(Millis duration) { PassOn(loop, duration); }
  // Watchdog: half a minute of wall time.
  bool RunUntil(const std::function<bool()>& done) { return RunUntilOn(loop, done, Millis(30000)); }
  Millis Now() const {
    return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
  }
};

// The page's sound service on a scripted page whose microphone speaks
// `samples` at `rate`.
struct ScriptedPageSound : OnPollLoop {
  std::unique_ptr<testsupport::ScriptedPage> page;
  std::unique_ptr<PageSound> sound;
  void OpenPage(const std::vector<short>& samples, unsigned rate) {
    page = std::make_unique<testsupport::ScriptedPage>(samples, rate);
    sound = std::make_unique<PageSound>(loop, *page);
  }
};

// A device and the commands the recorder and the player give it, in their
// order.
struct DeviceCommands {
  std::unique_ptr<MediaDevice> m_device;
  MediaDevice& Device() { return *m_device; }
  void OpenForRecording(const std::string& target) {
    Device().Command("Close");
    Device().SetWait(true);
    Device().SetShareable(false);
    Device().SetDeviceType("WaveAudio");
    Device().SetFileName(target);
    Device().Command("Open");
    Device().SetRecordMode(1);
  }
  void Save(const std::string& path) {
    Device().Command("Stop");
    Device().SetNotify(false);
    Device().SetWait(true);
    Device().SetFileName(path);
    Device().Command("Save");
  }
  void OpenForPlay(const std::string& path) {
    Device().Command("Close");
    Device().SetWait(true);
    Device().SetFileName(path);
    Device().Command("Open");
  }
};

struct FakeMediaBackend {
  static constexpr const char* kName = "Fake";

  VirtualEventLoop loop;
  FakeMicrophone microphone;
  FakeMedia media{loop, microphone};

  platform::Media& Media() { return media; }
  void UseMicrophone(const std::string& folder, const std::vector<short>& samples,
                     int rate = 44100) {
    const std::string path = folder + "/microphone.wav";
    testsupport::WriteWav(path, samples, rate);
    microphone.Play(path);
  }
  void Pass(Millis duration) { loop.AdvanceBy(duration); }
  void Mark() {}
  // Virtual time is exact to the frame.
  void ExpectFrames(long long frames, unsigned rate, Millis recorded) {
    EXPECT_EQ(frames, recorded.count() * rate / 1000)
        << "a recording of " << recorded.count() << " ms";
  }
  // Watchdog: a minute of virtual time.
  bool RunUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 6000 && !done(); ++i) loop.AdvanceBy(Millis(10));
    return done();
  }
};

// Wall-clock recordings: never more than the time that passed, and
// something. How much less depends on a noisy machine.
struct WallClockFrames {
  std::chrono::steady_clock::time_point mark;
  void Mark() { mark = std::chrono::steady_clock::now(); }
  void ExpectFrames(long long frames, unsigned rate, Millis) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - mark).count();
    EXPECT_GT(frames, 0);
    EXPECT_LE(static_cast<double>(frames), seconds * rate * 1.002 + 2048)
        << "faster than real time";
  }
};

// The page's devices with a scripted page whose microphone speaks the
// samples given at 44,100 Hz.
struct PageMediaBackend : ScriptedPageSound, WallClockFrames {
  static constexpr const char* kName = "Page";
  std::unique_ptr<PageMedia> media;

  platform::Media& Media() { return *media; }
  void UseMicrophone(const std::string&, const std::vector<short>& samples) {
    OpenPage(samples, 44100);
    media = std::make_unique<PageMedia>(loop, *sound);
  }
};

// ALSA's null device with a file-fed microphone that speaks the samples
// given, and a loudspeaker that writes what it plays to a file.
struct AlsaMediaBackend : OnPollLoop, WallClockFrames {
  static constexpr const char* kName = "Alsa";
  std::unique_ptr<AlsaMedia> media;
  std::string played;

  platform::Media& Media() { return *media; }
  void UseMicrophone(const std::string& folder, const std::vector<short>& samples) {
    UseRawMicrophone(folder, std::string(reinterpret_cast<const char*>(samples.data()),
                                         samples.size() * sizeof(short)));
  }
  // The microphone speaks `raw` in whatever format the capture asks for.
  void UseRawMicrophone(const std::string& folder, const std::string& raw) {
    const std::string microphone = folder + "/microphone.raw";
    std::ofstream(microphone, std::ios::binary) << raw;
    played = folder + "/played.raw";
    const std::string config =
        "pcm.testmic { type file slave.pcm \"null\" file \"/dev/null\" infile \"" + microphone +
        "\" format \"raw\" }\npcm.testout { type file slave.pcm \"null\" file \"" + played +
        "\" format \"raw\" }\n";
    media = std::make_unique<AlsaMedia>(loop, AlsaDevices{"testout", "testmic", config});
  }
};

}  // namespace platform
