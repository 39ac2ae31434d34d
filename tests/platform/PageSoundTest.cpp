// What only the page's devices show, beside their contract suites: a page
// that is not there or closes; samples at the browser's own rate;
// pieces lost on the way; the browser's inputs; a sound the page stopped.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/Media.h"
#include "platform/page/PageMedia.h"
#include "platform/page/PageSound.h"
#include "platform/page/PageWaveIn.h"
#include "tests/platform/MediaBackends.h"
#include "tests/support/ErrorText.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPage.h"
#include "tests/support/SoundFiles.h"

namespace platform {
namespace {

using namespace std::chrono_literals;
using testsupport::ErrorOf;
using testsupport::ReadWav;
using testsupport::ScriptedPage;

std::size_t Crossings(const std::vector<short>& samples) {
  std::size_t count = 0;
  for (std::size_t i = 1; i < samples.size(); ++i)
    if ((samples[i - 1] < 0) != (samples[i] < 0)) ++count;
  return count;
}

class PageSoundTest : public testing::Test, public ScriptedPageSound, public DeviceCommands {
 protected:
  // The device goes before the media that made it.
  ~PageSoundTest() override { m_device.reset(); }
  void Open(std::vector<short> signal, unsigned rate) {
    OpenPage(signal, rate);
    sound->onNotice = [this](const std::string& text) { m_notices.push_back(text); };
    m_media = std::make_unique<PageMedia>(loop, *sound);
    m_device = m_media->CreateDevice();
    m_device->onDone = [this](int code) { m_done.push_back(code); };
  }

  testsupport::ScratchFolder m_folder;
  std::unique_ptr<PageMedia> m_media;
  std::vector<int> m_done;
  std::vector<std::string> m_notices;
};

TEST_F(PageSoundTest, WithoutAPageRecordAndPlayFailAtOnceSayingSo) {
  Open(testsupport::Ramp(44100), 44100);
  page->Close();
  OpenForRecording(m_folder.File("R.wav"));
  EXPECT_EQ(ErrorOf([&] { m_device->Command("Record"); }), PageSound::kNoPage);
  EXPECT_NE(m_device->Mode(), media_mode::kRecord);

  testsupport::WriteWav(m_folder.File("one.wav"), testsupport::Ramp(44100));
  m_device->SetFileName(m_folder.File("one.wav"));
  m_device->Command("Open");
  EXPECT_THROW(m_device->Command("play"), Error);
  Pass(200ms);
  EXPECT_TRUE(m_done.empty());

  PageWaveIn waveIn(loop, *sound);
  EXPECT_EQ(waveIn.Open(0, WaveFormat{}), 0u) << "the meter opened a microphone no page holds";
}

TEST_F(PageSoundTest, APageClosedDuringARecordingLeavesWhatWasCaptured) {
  Open(testsupport::Ramp(44100 * 12), 44100);
  OpenForRecording(m_folder.File("R.wav"));
  m_device->Command("Record");
  Pass(800ms);
  page->Close();
  Pass(500ms);
  Save(m_folder.File("Temp.wav"));
  const auto saved = ReadWav(m_folder.File("Temp.wav"));
  ASSERT_EQ(saved.rate, 44100);
  EXPECT_GE(saved.Frames(), 4410) << "what came before the page closed was lost";
  EXPECT_LE(saved.Frames(), 44100 * 14 / 10);
  EXPECT_EQ(testsupport::RampBreaks(saved.samples), 0u);
  ASSERT_EQ(m_notices.size(), 1u);
  EXPECT_NE(m_notices[0].find("page closed"), std::string::npos) << m_notices[0];
}

TEST_F(PageSoundTest, TheBrowsersRateIsResampledToTheRecordingsAndTheMetersKeepingPitch) {
  Open(testsupport::Tone(48000, 4, 0.3), 48000);
  PageWaveIn waveIn(loop, *sound);
  OpenForRecording(m_folder.File("R.wav"));
  m_device->Command("Record");
  // The meter listens to the same microphone at once, at its own rate.
  const WaveInHandle handle = waveIn.Open(0, WaveFormat{});
  ASSERT_NE(handle, 0u);
  waveIn.Start(handle);
  std::vector<std::uint8_t> buffer(256);
  std::vector<short> metered;
  WaveHeader header;
  header.data = buffer.data();
  header.bufferLength = 256;
  std::function<void()> again = [&] {
    for (auto b : buffer) metered.push_back(static_cast<short>((b - 128) * 256));
    waveIn.AddBuffer(handle, &header, again);
  };
  waveIn.AddBuffer(handle, &header, again);
  Pass(1500ms);
  waveIn.Close(handle);
  Save(m_folder.File("Temp.wav"));

  const auto saved = ReadWav(m_folder.File("Temp.wav"));
  ASSERT_EQ(saved.rate, 44100);
  ASSERT_GT(saved.Frames(), 44100 / 2);
  // 440 Hz: 880 crossings a second at whatever rate it is kept.
  const double seconds = static_cast<double>(saved.Frames()) / 44100;
  EXPECT_NEAR(Crossings(saved.samples) / seconds, 880, 20);
  ASSERT_GT(metered.size(), 11025u / 2);
  EXPECT_NEAR(Crossings(metered) / (static_cast<double>(metered.size()) / 11025), 880, 30);
}

TEST_F(PageSoundTest, PiecesLostOnTheWayLeaveSilenceOfTheirLength) {
  Open(std::vector<short>(44100, 1000), 44100);
  page->LoseEvery(3);
  OpenForRecording(m_folder.File("R.wav"));
  m_device->Command("Record");
  Pass(1500ms);
  Save(m_folder.File("Temp.wav"));
  const auto saved = ReadWav(m_folder.File("Temp.wav"));
  ASSERT_GE(saved.Frames(), 4410 * 5);
  // Whole pieces of 100 ms: the time stays right, the lost ones are silent.
  EXPECT_EQ(saved.Frames() % 4410, 0);
  std::size_t silent = 0;
  for (short s : saved.samples) silent += s == 0;
  EXPECT_GT(silent, 0u) << "a lost piece was skipped: the recording runs fast";
  EXPECT_EQ(silent % 4410, 0u);
}

TEST_F(PageSoundTest, TheMetersDevicesAreTheBrowsersInputsAndOpeningOneSwitchesThePage) {
  Open(testsupport::Ramp(11025), 11025);
  PageWaveIn waveIn(loop, *sound);
  EXPECT_EQ(waveIn.DeviceCount(), 1u) << "before the page lists them: its own choice";
  WaveInCaps caps;
  ASSERT_TRUE(waveIn.Caps(0, &caps));
  EXPECT_STREQ(caps.name, PageWaveIn::kOwnChoice);
  const WaveInHandle first = waveIn.Open(0, WaveFormat{});
  waveIn.Start(first);
  Pass(100ms);
  ASSERT_EQ(waveIn.DeviceCount(), 2u);
  ASSERT_TRUE(waveIn.Caps(1, &caps));
  EXPECT_EQ(std::string(caps.name), ScriptedPage::InputLabels()[1]);
  waveIn.Close(first);
  const WaveInHandle second = waveIn.Open(1, WaveFormat{});
  ASSERT_NE(second, 0u);
  waveIn.Start(second);
  EXPECT_EQ(page->Input(), 1);
  EXPECT_TRUE(page->Capturing());
  waveIn.Close(second);
  EXPECT_FALSE(page->Capturing()) << "the page's microphone stayed on with nobody listening";
}

TEST_F(PageSoundTest, ASoundThePageStoppedIsDoneAbortedAndAClosedPageEndsThePlay) {
  Open(testsupport::Ramp(44100), 44100);
  testsupport::WriteWav(m_folder.File("long.wav"), testsupport::Ramp(44100 * 5));
  m_device->SetFileName(m_folder.File("long.wav"));
  m_device->Command("Open");
  for (const bool closed : {false, true}) {
    SCOPED_TRACE(closed ? "the page closed" : "the page stopped the sound");
    m_done.clear();
    m_device->Command("play");
    Pass(100ms);
    closed ? page->Close() : page->StopFromPage();
    ASSERT_TRUE(RunUntil([this] { return !m_done.empty(); }));
    EXPECT_EQ(m_done, std::vector<int>{media_notify::kAborted});
    EXPECT_EQ(m_device->Mode(), media_mode::kStop);
  }
}

}  // namespace
}  // namespace platform
