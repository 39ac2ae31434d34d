// The meter's silence band and devices, the recorder's pause delay and the
// dialog's layout, on the deterministic platform.
#include <gtest/gtest.h>
#include <unistd.h>

#include "audio/FrmProp.h"
#include "audio/Fx.h"
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
};

// The edges of the band that counts as silence; the bars a recording paints
// are the meter_clock scenario's.
TEST_F(MeterTest, OnlyBytesInsideTheSilenceBandPaintTheSmallestBar) {
  Fx::Instance().Load();
  auto& buffer = Fx::Instance().CaptureBuffer;
  buffer.fill(128);
  const std::uint8_t bytes[] = {125, 126, 129, 130};
  for (int i = 0; i < 4; ++i) buffer[10 + 6 * i] = bytes[i];
  Fx::Instance().DrawScope();
  std::vector<std::string> faces;
  for (const auto& p : dynamic_cast<platform::DesktopForm*>(Fx::Instance().Window())->Painted())
    faces.push_back(p.picture->sourceFile.substr(p.picture->sourceFile.rfind('/') + 1));
  faces.resize(4);
  EXPECT_EQ(faces, (std::vector<std::string>{"S4.bmp", "S1.bmp", "S1.bmp", "S5.bmp"}));
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

// What the dialog shows and plays, and Cancel, are the meter_dialog scenario's.
TEST_F(MeterTest, TheDialogFitsItsControlsAndTestWithoutItsSamplePlaysNothing) {
  Start();
  FrmProp::Instance().PropShow();
  auto* window = dynamic_cast<platform::DesktopForm*>(FrmProp::Instance().Window());
  ASSERT_TRUE(window && window->Visible());
  for (const auto& control : window->Controls()) {
    EXPECT_LE(control.x + control.width, FrmProp::kDialogWidth) << control.name;
    EXPECT_LE(control.y + control.height, FrmProp::kDialogHeight - 23) << control.name;
  }
  unlink(AddinFile("Probe2.wav").c_str());
  fake.windows.Click("FrmProp", "Test");
  EXPECT_NE(FrmProp::Instance().WStatus(), platform::media_mode::kPlay);
}

}  // namespace
