// The waveform of an MP3: loud where the sound is, flat where it is silent,
// as long as the sound, and a clear error for bytes that are no MP3.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/common/SoundPeaks.h"
#include "tests/support/ErrorText.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SoundFiles.h"

namespace platform {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

// One second of a loud tone, then one of silence, as an MP3.
std::vector<std::uint8_t> LoudThenSilent(testsupport::ScratchFolder& folder, int rate) {
  std::vector<short> samples(2 * rate, 0);
  for (int i = 0; i < rate; ++i) samples[i] = static_cast<short>(20000 * std::sin(i * 0.2));
  testsupport::WriteWav(folder.File("sound.wav"), samples, rate);
  if (!testsupport::MakeMp3(folder.File("sound.wav"), folder.File("sound.mp3"))) return {};
  return Bytes(testsupport::ScratchFolder::Read(folder.File("sound.mp3")));
}

SoundPeaks Peaks(const std::vector<std::uint8_t>& bytes, std::size_t count) {
  return ReadMp3Peaks(bytes.data(), bytes.size(), count, "sound.mp3");
}

TEST(SoundPeaksTest, TheLoudHalfIsHighTheSilentHalfFlatAndTheLengthRightAtEveryRate) {
  // The add-in's own rate and a common one.
  for (int rate : {11025, 44100}) {
    testsupport::ScratchFolder folder;
    const auto mp3 = LoudThenSilent(folder, rate);
    if (mp3.empty()) GTEST_SKIP() << "no MP3 encoder on this machine";
    const auto peaks = Peaks(mp3, 100);
    ASSERT_EQ(peaks.peaks.size(), 100u);
    // The length is what plays: the encoder's delay (1105 samples) and its
    // padding of the last frame are in it where the file has no tag that
    // says them (lame writes none below 32 kHz).
    EXPECT_NEAR(static_cast<double>(peaks.durationMs), 2000.0 + 1105.0 * 1000 / rate,
                1152.0 * 1000 / rate)
        << "at " << rate << " Hz";
    for (int i = 8; i < 45; ++i)
      EXPECT_GT(peaks.peaks[i], 0.4f) << "stretch " << i << " at " << rate;
    for (int i = 56; i < 100; ++i)
      EXPECT_LT(peaks.peaks[i], 0.02f) << "stretch " << i << " at " << rate;
  }
}

TEST(SoundPeaksTest, AShortSoundFillsManyStretchesAndACutOneEndsAtTheCut) {
  testsupport::ScratchFolder folder;
  const auto mp3 = LoudThenSilent(folder, 11025);
  if (mp3.empty()) GTEST_SKIP() << "no MP3 encoder on this machine";
  // More stretches than the sound has samples: each is at least there.
  const auto many = Peaks(mp3, 30000);
  EXPECT_EQ(many.peaks.size(), 30000u);
  const std::vector<std::uint8_t> cut(mp3.begin(), mp3.begin() + mp3.size() / 2);
  const auto half = Peaks(cut, 100);
  EXPECT_NEAR(static_cast<double>(half.durationMs), 1000.0, 250.0);
}

TEST(SoundPeaksTest, ALongSoundReadInPartsIsReadAsInOne) {
  // Two minutes: ten seconds of tone, ten of silence, and so on.
  constexpr int kRate = 11025;
  testsupport::ScratchFolder folder;
  std::vector<short> samples(120 * kRate, 0);
  for (std::size_t i = 0; i < samples.size(); ++i)
    if (i / (10 * kRate) % 2 == 0) samples[i] = static_cast<short>(20000 * std::sin(i * 0.2));
  testsupport::WriteWav(folder.File("long.wav"), samples, kRate);
  if (!testsupport::MakeMp3(folder.File("long.wav"), folder.File("long.mp3")))
    GTEST_SKIP() << "no MP3 encoder on this machine";
  const auto mp3 = Bytes(testsupport::ScratchFolder::Read(folder.File("long.mp3")));

  const auto whole = ReadMp3Peaks(mp3.data(), mp3.size(), 120, "long.mp3", 1);
  for (unsigned cores : {2U, 3U, 4U}) {
    const auto parts = ReadMp3Peaks(mp3.data(), mp3.size(), 120, "long.mp3", cores);
    EXPECT_EQ(parts.durationMs, whole.durationMs) << cores << " parts";
    EXPECT_EQ(parts.peaks, whole.peaks) << cores << " parts";
  }
  // Loud and quiet by turns, a second a stretch, the encoder's delay aside.
  for (int second = 0; second < 120; ++second) {
    if (second % 10 == 0 || second % 10 == 9) continue;
    if (second / 10 % 2 == 0)
      EXPECT_GT(whole.peaks[second], 0.4f) << "second " << second;
    else
      EXPECT_LT(whole.peaks[second], 0.02f) << "second " << second;
  }
}

TEST(SoundPeaksTest, BytesThatAreNoMp3AreAnErrorNamingThem) {
  for (const std::string& junk :
       {std::string(), std::string("Hello, this is no sound at all.\n"), std::string(5000, '\x7f'),
        std::string("ID3\x04\0\0\0\0\0\0", 10)}) {
    const auto bytes = Bytes(junk);
    const std::string error =
        testsupport::ErrorOf([&] { ReadMp3Peaks(bytes.data(), bytes.size(), 100, "junk.mp3"); });
    EXPECT_TRUE(testsupport::Contains(error, "junk.mp3")) << junk.size() << " bytes: " << error;
  }
}

}  // namespace
}  // namespace platform
