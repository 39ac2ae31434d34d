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
using testsupport::Tone;

constexpr int kRate = 11025;

// A sine at a quarter of the rate, sampled 45 degrees off its crests: its
// true peak is 3 dB above its samples.
double QuarterRate(double t, double amplitude) {
  return amplitude * std::sin(2 * M_PI * kRate / 4 * t + M_PI / 4);
}

// Speech as a microphone far from the mouth records it; no samples when it
// cannot be spoken.
testsupport::Sound QuietSpeech(const std::string& wav) {
  if (!testsupport::MakeSpeech(
          "This is a voice message. Please call me back when you have a minute, thank you.", wav))
    return {};
  auto speech = testsupport::ReadWav(wav);
  for (short& sample : speech.samples) sample = static_cast<short>(sample / 4);
  return speech;
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
  auto [quiet, raised] = Normalise(Tone(44100, 10, 0.05), 44100);
  EXPECT_LT(quiet.lufs, -28);
  EXPECT_NEAR(raised.lufs, -16, 0.5);
  EXPECT_LE(raised.truePeakDbtp, -1);

  auto [loud, lowered] = Normalise(Tone(kRate, 10, 0.9, 1000));
  EXPECT_GT(loud.lufs, -6);
  EXPECT_NEAR(lowered.lufs, -16, 0.5);

  // Room noise alone gets no more than the maximum.
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0, 0.0008);
  auto [room, raisedRoom] = Normalise(Signal(kRate, 10, [&](double) { return noise(random); }));
  EXPECT_NEAR(room.lufs, -60, 3);
  EXPECT_NEAR(raisedRoom.lufs - room.lufs, 20, 0.1);

  // Short loud bursts, loudest between samples, are limited: they do not
  // hold the rest down.
  auto [peaky, limited] = Normalise(Signal(
      kRate, 10, [](double t) { return QuarterRate(t, std::fmod(t, 1.0) < 0.01 ? 0.5 : 0.05); }));
  EXPECT_GT(peaky.truePeakDbtp + 16 - peaky.lufs, 0) << "the gain alone would not pass the peak";
  EXPECT_NEAR(limited.lufs, -16, 0.5);
  EXPECT_LE(limited.truePeakDbtp, -1);
}

TEST_F(NormaliseLoudnessTest, SpeechPeaksAreLimitedAndTheVoiceReachesTheTarget) {
  // Recorded quietly at the device's rate.
  const auto speech = QuietSpeech(folder.File("spoken.wav"));
  ASSERT_FALSE(speech.samples.empty()) << "espeak-ng is part of the test system";
  auto [recorded, normalised] = Normalise(speech.samples, speech.rate);
  // The gain that brings the loudness passes the peak by more than the margin
  // the result is allowed.
  EXPECT_GT(recorded.truePeakDbtp + (-16 - recorded.lufs), 1);
  EXPECT_NEAR(normalised.lufs, -16, 1);
  EXPECT_LE(normalised.truePeakDbtp, -1);
  EXPECT_EQ(testsupport::ReadWav(wav).Frames(),
            static_cast<long long>(std::llround(speech.Frames() * double(kRate) / speech.rate)));
}

TEST_F(NormaliseLoudnessTest, WhatCannotBeMeasuredIsLeftAsItWas) {
  const std::vector<std::vector<short>> unmeasurable = {
      std::vector<short>(kRate * 5),  // silence
      Tone(kRate, 5, 0.0001),
      Tone(kRate, 0.3, 0.5),
  };
  for (const auto& samples : unmeasurable) {
    testsupport::WriteWav(wav, samples, kRate);
    const std::string before = ScratchFolder::Read(wav);
    NormaliseLoudness(wav, kRate);
    EXPECT_EQ(ScratchFolder::Read(wav), before) << samples.size() << " samples were changed";
  }
}

TEST(PeakLimiterTest, TheBlocksDoNotMatterAndWhatIsUnderTheCeilingOnlyGetsTheGain) {
  // Two channels: a quiet tone, and a tone with one loud burst.
  std::vector<float> frames;
  for (int i = 0; i < kRate * 4; ++i) {
    frames.push_back(static_cast<float>(0.1 * std::sin(i * 0.05)));
    frames.push_back(static_cast<float>((i / 1000 == 7 ? 0.9 : 0.1) * std::sin(i * 0.3)));
  }
  auto limit = [&](size_t block) {
    PeakLimiter limiter(kRate, 2, 6, 0.5);
    std::vector<float> out;
    for (size_t at = 0; at < frames.size(); at += block * 2)
      limiter.Add(frames.data() + at, std::min(block, (frames.size() - at) / 2), out);
    limiter.Finish(out);
    return out;
  };
  const std::vector<float> whole = limit(frames.size());
  ASSERT_EQ(whole.size(), frames.size());
  EXPECT_EQ(limit(1), whole);
  EXPECT_EQ(limit(333), whole);

  const float gain = static_cast<float>(std::pow(10.0, 6 / 20.0));
  float loudest = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    loudest = std::max(loudest, std::fabs(whole[i]));
    const size_t frame = i / 2;
    // Both channels take the burst's gain; far from it, the gain alone.
    if (frame < 6900 || frame > 30000) {
      EXPECT_FLOAT_EQ(whole[i], frames[i] * gain) << frame;
    }
  }
  EXPECT_LE(loudest, 0.5f + 1e-6f);
  EXPECT_GT(loudest, 0.45f) << "limited further than the ceiling asks";
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

  // Measured on a thread of its own, the same stream as two channels mixed.
  LoudnessMeter background(kRate);
  {
    BackgroundMeter measuring(background, 2);
    std::vector<float> both;
    for (size_t at = 0; at < stream.size(); at += 3000) {
      const size_t count = std::min<size_t>(3000, stream.size() - at);
      both.clear();
      for (size_t i = at; i < at + count; ++i) both.insert(both.end(), 2, stream[i]);
      measuring.Add(both.data(), count);
    }
    measuring.Finish();
  }
  EXPECT_DOUBLE_EQ(background.TruePeak(), expected);
  EXPECT_DOUBLE_EQ(background.IntegratedLufs(), meter.IntegratedLufs());

  // The bound that lets most samples go unmeasured holds, and is tight: the
  // worst case for the point halfway between two samples.
  const std::vector<float> worst = {0,  0,   0,  0,   0,  0,   -.5, .5, -.5, .5, -.5, .5,
                                    .5, -.5, .5, -.5, .5, -.5, 0,   0,  0,   0,  0,   0};
  LoudnessMeter bound(kRate);
  bound.Add(worst.data(), worst.size());
  EXPECT_LE(bound.TruePeak(), 0.5 * LoudnessMeter::kInterpolationBound);
  EXPECT_GT(bound.TruePeak(), 0.5 * 0.98 * LoudnessMeter::kInterpolationBound);
}

TEST(LoudnessMeterTest, TheForecastCountsWhatTheLimiterTakesAndNothingElse) {
  const LoudnessTarget target;
  const double ceiling = std::pow(10.0, target.truePeakDbtp / 20) * 0.966;
  auto forecast = [&](const std::vector<float>& stream, int rate) {
    LoudnessMeter meter(rate, true);
    for (size_t at = 0; at < stream.size(); at += 1000)
      meter.Add(stream.data() + at, std::min<size_t>(1000, stream.size() - at));
    return std::pair{meter.LoudnessGain(target), meter.LimitedGain(target, ceiling)};
  };

  // A steady tone far under the ceiling loses nothing to the limiter.
  std::vector<float> tone;
  for (const short s : Tone(kRate, 5, 0.05)) tone.push_back(s / 32768.0f);
  const auto [toneGain, toneLimited] = forecast(tone, kRate);
  EXPECT_NEAR(toneLimited, toneGain, 0.02);

  // Quiet speech, whose peaks the gain takes far past the ceiling: one
  // limiter at the forecast gain brings it to the target.
  ScratchFolder folder;
  const auto speech = QuietSpeech(folder.File("spoken.wav"));
  ASSERT_FALSE(speech.samples.empty()) << "espeak-ng is part of the test system";
  std::vector<float> quiet;
  for (const short s : speech.samples) quiet.push_back(s / 32768.0f);
  const auto [plain, limited] = forecast(quiet, speech.rate);
  EXPECT_GT(limited, plain + 0.5);
  PeakLimiter limiter(speech.rate, 1, limited, ceiling);
  std::vector<float> out;
  limiter.Add(quiet.data(), quiet.size(), out);
  limiter.Finish(out);
  LoudnessMeter result(speech.rate);
  result.Add(out.data(), out.size());
  EXPECT_NEAR(result.IntegratedLufs(), target.integratedLufs, 0.5);
}

}  // namespace
