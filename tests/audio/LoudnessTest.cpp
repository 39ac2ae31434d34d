// A recording's voice brought to its loudness before encoding, checked
// against libebur128's own measurement of the whole result.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "audio/Encoding.h"
#include "audio/Loudness.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SoundFiles.h"

namespace {

using namespace sonvera;
using testsupport::Level;
using testsupport::MeasureLevel;
using testsupport::ScratchFolder;
using testsupport::Signal;

constexpr int kRate = 11025;

// A sine at a quarter of the rate, sampled 45 degrees off its crests: its
// true peak is 3 dB above its samples.
double QuarterRate(double t, double amplitude) {
  return amplitude * std::sin(2 * M_PI * kRate / 4 * t + M_PI / 4);
}

class NormaliseLoudnessTest : public ::testing::Test {
 protected:
  // The level of `samples` before, and after NormaliseLoudness to kRate.
  std::pair<Level, Level> Normalise(const std::vector<short>& samples, int rate = kRate) {
    testsupport::WriteWav(wav, samples, rate);
    const Level before = MeasureLevel(wav);
    NormaliseLoudness(wav, kRate);
    EXPECT_FALSE(ScratchFolder::Exists(wav + ".rate") || ScratchFolder::Exists(wav + ".level"));
    return {before, MeasureLevel(wav)};
  }
  ScratchFolder folder;
  const std::string wav = folder.File("Temp.wav");
};

TEST_F(NormaliseLoudnessTest, AVoiceComesToTheTargetWithinItsLimits) {
  // Quiet, recorded at the device's rate: up, and down to the encoder's rate.
  auto [quiet, raised] = Normalise(
      Signal(44100, 10, [](double t) { return 0.05 * std::sin(2 * M_PI * 440 * t); }), 44100);
  EXPECT_LT(quiet.lufs, -28);
  EXPECT_NEAR(raised.lufs, -16, 0.5);
  EXPECT_LE(raised.truePeakDbtp, -1);

  auto [loud, lowered] =
      Normalise(Signal(kRate, 10, [](double t) { return 0.9 * std::sin(2 * M_PI * 1000 * t); }));
  EXPECT_GT(loud.lufs, -6);
  EXPECT_NEAR(lowered.lufs, -16, 0.5);

  // Room noise alone gets no more than the maximum.
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0, 0.0008);
  auto [room, raisedRoom] = Normalise(Signal(kRate, 10, [&](double) { return noise(random); }));
  EXPECT_NEAR(room.lufs, -60, 3);
  EXPECT_NEAR(raisedRoom.lufs - room.lufs, 20, 0.1);

  // Short loud bursts between samples hold the gain down: measured at the
  // samples, they would end 3 dB over the limit.
  auto [peaky, held] = Normalise(Signal(
      kRate, 10, [](double t) { return QuarterRate(t, std::fmod(t, 1.0) < 0.01 ? 0.5 : 0.05); }));
  EXPECT_GT(peaky.lufs + 20, -16) << "the loudness alone would raise it further";
  EXPECT_NEAR(held.truePeakDbtp, -1, 0.05);
  EXPECT_LT(held.lufs, -17);
}

TEST_F(NormaliseLoudnessTest, WhatCannotBeMeasuredIsLeftAsItWas) {
  const std::vector<std::vector<short>> unmeasurable = {
      std::vector<short>(kRate * 5),  // silence
      Signal(kRate, 5, [](double t) { return 0.0001 * std::sin(2 * M_PI * 440 * t); }),
      Signal(kRate, 0.3, [](double t) { return 0.5 * std::sin(2 * M_PI * 440 * t); }),
  };
  for (const auto& samples : unmeasurable) {
    testsupport::WriteWav(wav, samples, kRate);
    const std::string before = ScratchFolder::Read(wav);
    NormaliseLoudness(wav, kRate);
    EXPECT_EQ(ScratchFolder::Read(wav), before) << samples.size() << " samples were changed";
  }
}

TEST(LoudnessMeterTest, TheTruePeakIsThatOfAFullMeasurement) {
  // Bursts of noise of every size, loud and quiet, some of them clipped.
  std::mt19937 random(3);
  std::uniform_real_distribution<float> sample(-1, 1);
  std::vector<float> stream(kRate * 20);
  for (size_t i = 0; i < stream.size(); ++i) {
    const double level = std::pow(std::sin(i * 0.0007), 8) + 0.05 * std::sin(i * 0.013);
    stream[i] = std::clamp(static_cast<float>(level * 1.3) * sample(random), -1.0f, 1.0f);
  }
  LoudnessMeter meter(kRate);
  ebur128_state* full = ebur128_init(1, kRate, EBUR128_MODE_TRUE_PEAK);
  for (size_t at = 0; at < stream.size(); at += 3000) {
    const size_t count = std::min<size_t>(3000, stream.size() - at);
    meter.Add(stream.data() + at, count);
    ebur128_add_frames_float(full, stream.data() + at, count);
  }
  double expected = 0;
  ebur128_true_peak(full, 0, &expected);
  ebur128_destroy(&full);
  EXPECT_DOUBLE_EQ(meter.TruePeak(), expected);

  // The bound that lets most samples go unmeasured holds, and is tight: the
  // worst case for the point halfway between two samples.
  const std::vector<float> worst = {0,  0,   0,  0,   0,  0,   -.5, .5, -.5, .5, -.5, .5,
                                    .5, -.5, .5, -.5, .5, -.5, 0,   0,  0,   0,  0,   0};
  LoudnessMeter bound(kRate);
  bound.Add(worst.data(), worst.size());
  EXPECT_LE(bound.TruePeak(), 0.5 * LoudnessMeter::kInterpolationBound);
  EXPECT_GT(bound.TruePeak(), 0.5 * 0.98 * LoudnessMeter::kInterpolationBound);
}

}  // namespace
