// What only the ALSA device does: what it plays reaches the device sample for
// sample, and devices that cannot be opened are reported, never a crash.
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/linux/AlsaMedia.h"
#include "platform/linux/PollEventLoop.h"
#include "tests/platform/MediaBackends.h"
#include "tests/support/ErrorText.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SoundFiles.h"

namespace platform {
namespace {

TEST(AlsaMediaTest, WhatIsPlayedReachesTheDeviceExactlyAndEndsOnTheLoop) {
  testsupport::ScratchFolder folder;
  AlsaMediaBackend backend;
  backend.UseMicrophone(folder.Path(), testsupport::Ramp(1024));
  const auto samples = testsupport::Ramp(44100 / 2);
  testsupport::WriteWav(folder.File("ramp.wav"), samples);

  auto device = backend.Media().CreateDevice();
  std::vector<int> done;
  device->onDone = [&done](int code) { done.push_back(code); };
  device->SetFileName(folder.File("ramp.wav"));
  device->Command("Open");
  device->Command("play");
  ASSERT_TRUE(backend.RunUntil([&] { return !done.empty(); }));
  EXPECT_EQ(done, std::vector<int>{media_notify::kSuccessful});

  const std::string played = testsupport::ScratchFolder::Read(backend.played);
  const std::string expected(reinterpret_cast<const char*>(samples.data()),
                             samples.size() * sizeof(short));
  EXPECT_EQ(played.size(), expected.size());
  EXPECT_TRUE(played == expected) << "the device did not get the file's samples";
}

TEST(AlsaMediaTest, ADeviceThatCannotBeOpenedIsAnErrorNamingIt) {
  testsupport::ScratchFolder folder;
  testsupport::WriteWav(folder.File("one.wav"), testsupport::Ramp(4410));
  PollEventLoop loop;
  AlsaMedia media(loop, AlsaDevices{"nosuchspeaker", "nosuchmicrophone", ""});
  auto device = media.CreateDevice();

  device->SetFileName(folder.File("one.wav"));
  device->Command("Open");
  const std::string playing = testsupport::ErrorOf([&] { device->Command("play"); });
  EXPECT_TRUE(testsupport::Contains(playing, "nosuchspeaker")) << playing;
  EXPECT_EQ(device->Mode(), media_mode::kStop);

  device->SetDeviceType("WaveAudio");
  device->SetFileName(folder.File("R.wav"));
  device->Command("Open");
  const std::string recording = testsupport::ErrorOf([&] { device->Command("Record"); });
  EXPECT_TRUE(testsupport::Contains(recording, "nosuchmicrophone")) << recording;
  EXPECT_EQ(device->Mode(), media_mode::kStop);
}

TEST(AlsaMediaTest, WithoutASoundCardTheDefaultDeviceIsTheNullOneAndTheHostIsToldOnce) {
  int card = -1;
  if (snd_card_next(&card) == 0 && card >= 0) GTEST_SKIP() << "this machine has a sound card";
  PollEventLoop loop;
  AlsaMedia media(loop, AlsaDevices{"default", "default", ""});
  std::vector<std::string> notices;
  media.onNotice = [&notices](const std::string& text) { notices.push_back(text); };
  snd_pcm_close(media.OpenPcm(SND_PCM_STREAM_PLAYBACK));
  snd_pcm_close(media.OpenPcm(SND_PCM_STREAM_CAPTURE));
  EXPECT_EQ(notices, std::vector<std::string>{AlsaMedia::kNoSoundCardNotice});
}

}  // namespace
}  // namespace platform
