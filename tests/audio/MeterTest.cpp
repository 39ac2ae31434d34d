// The meter's devices, the recorder's pause delay and the dialog's layout, on the
// deterministic platform; the bars it paints are the meter_clock scenario's.
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
