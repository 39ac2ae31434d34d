// The meter's drawing and devices, the recorder's delays and the dialog,
// on the deterministic platform.
#include <gtest/gtest.h>
#include <unistd.h>

#include "audio/FrmProp.h"
#include "audio/Fx.h"
#include "settings/Reg.h"
#include "settings/Settings.h"
#include "tests/support/VoiceFixture.h"

namespace {

using sonvera::FrmProp;
using sonvera::Fx;

class MeterTest : public testsupport::VoiceFixture {
 protected:
  ~MeterTest() override {
    Fx::Instance().Unload();
    FrmProp::Instance().Unload();
  }
  std::vector<std::string> Painted() {
    std::vector<std::string> words;
    auto* form = dynamic_cast<platform::DesktopForm*>(Fx::Instance().Window());
    for (const auto& p : form->Painted())
      words.push_back(p.picture->sourceFile.substr(p.picture->sourceFile.rfind('/') + 1) + "@" +
                      std::to_string(p.x) + "," + std::to_string(p.y));
    return words;
  }
  void SetQuality(const char* aq) {
    sonvera::SetRegValue(platform::kHkeyCurrentUser, sonvera::kSettingsKey, sonvera::kValueAQ,
                         std::string(aq), true);
  }
};

TEST_F(MeterTest, EachSampleIsABarWhoseHeightFollowsTheByteAndSilenceIsTheSmallest) {
  Fx::Instance().Load();
  auto& buffer = Fx::Instance().CaptureBuffer;
  buffer.fill(128);
  const std::uint8_t bytes[] = {125, 126, 129, 130, 255, 0};
  for (int i = 0; i < 6; ++i) buffer[10 + 6 * i] = bytes[i];
  Fx::Instance().DrawScope();
  const auto painted = Painted();
  ASSERT_EQ(painted.size(), 14u);
  EXPECT_EQ(std::vector<std::string>(painted.begin(), painted.begin() + 7),
            (std::vector<std::string>{"S4.bmp@10,16", "S1.bmp@16,25", "S1.bmp@22,25",
                                      "S5.bmp@28,13", "S8.bmp@34,4", "S1.bmp@40,25",
                                      "S1.bmp@46,25"}));
  EXPECT_EQ(painted.back(), "S1.bmp@88,25");
}

TEST_F(MeterTest, TheListLeavesOutDevicesWithoutTheFormatAndTheChosenOneIsOpened) {
  fake.waveIn.SetDevices({{"Line in", 0}, {"Headset", platform::kFormat1M08}});
  Fx::Instance().Load();
  auto* list = Fx::Instance().Window()->Find("DevicesBox");
  EXPECT_EQ(list->items, std::vector<std::string>{"Headset"});
  EXPECT_EQ(fake.waveIn.Opened(), std::vector<unsigned>{1});
  EXPECT_NE(Fx::Instance().WaveInHandle, 0u);
  Fx::Instance().Unload();
  EXPECT_EQ(Fx::Instance().WaveInHandle, 0u);

  fake.waveIn.SetDevices({});
  EXPECT_THROW(Fx::Instance().Load(), platform::Error);
  EXPECT_EQ(fake.LastBoxText(), "You have no audio input devices!");
  EXPECT_FALSE(Fx::Instance().Loaded());
}

TEST_F(MeterTest, APauseWaitsFiftyMillisecondsAndAResumeBeforeThenCancelsIt) {
  auto& recorder = FrmProp::Instance();
  recorder.WRecord(AddinFile("R.wav"));
  recorder.WPause();
  Wait(30);
  EXPECT_EQ(recorder.WStatus(), platform::media_mode::kRecord);
  Wait(30);
  EXPECT_EQ(recorder.WStatus(), platform::media_mode::kPause);
  recorder.WResume();
  recorder.WPause();
  recorder.WResume();
  Wait(100);
  std::string name;
  EXPECT_EQ(recorder.WStatus(&name), platform::media_mode::kRecord);
  EXPECT_EQ(name, "mciModeRecord");
  recorder.WClose();
}

TEST_F(MeterTest, TheDialogShowsTheStoredQualityAndTestPlaysItsSampleWithoutAMeter) {
  Start();
  for (const char* aq : {"1", "7"}) {
    SetQuality(aq);
    FrmProp::Instance().Unload();
    FrmProp::Instance().PropShow();
    auto* window = dynamic_cast<platform::DesktopForm*>(FrmProp::Instance().Window());
    ASSERT_TRUE(window && window->Visible());
    const auto* list = window->Find("SetQ");
    EXPECT_EQ(list->items[list->listIndex], "2 Kbs") << "AQ " << aq;
    for (const auto& control : window->Controls()) {
      EXPECT_LE(control.x + control.width, FrmProp::kDialogWidth) << control.name;
      EXPECT_LE(control.y + control.height, FrmProp::kDialogHeight - 23) << control.name;
    }
  }
  // The sample of the chosen quality is what plays: without it, nothing does.
  unlink(AddinFile("Probe2.wav").c_str());
  fake.windows.Click("FrmProp", "Test");
  EXPECT_NE(FrmProp::Instance().WStatus(), platform::media_mode::kPlay);
  symlink(SONVERA_TEST_ADDIN_DIR "/Probe2.wav", AddinFile("Probe2.wav").c_str());
  fake.windows.Click("FrmProp", "Test");
  EXPECT_EQ(FrmProp::Instance().WStatus(), platform::media_mode::kPlay);
  EXPECT_FALSE(Fx::Instance().Loaded());
  fake.windows.Click("FrmProp", "Cancel");
  EXPECT_FALSE(FrmProp::Instance().Loaded()) << "Cancel unloads the form and its device";
}

}  // namespace
