// A disk that runs out under the add-in: the person reads the system's
// reason, and nothing that was stored is lost. The add-in folder (and where
// it matters the registry file) sits on a small disk of the test's own.
#include <gtest/gtest.h>

#include <memory>

#include "audio/FrmProp.h"
#include "host/model/Attachments.h"
#include "host/model/MailItem.h"
#include "platform/linux/LinuxProcesses.h"
#include "platform/linux/RegistryLinux.h"
#include "settings/Reg.h"
#include "settings/Settings.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/SoundFiles.h"
#include "tests/support/VoiceFixture.h"

namespace {

using testsupport::ScratchFolder;

constexpr const char* kNoSpace = "No space left on device";

class FullDiskTest : public testsupport::VoiceFixture {
 protected:
  void SetUp() override {
    disk = std::make_unique<testsupport::SmallDisk>(addin.Path(), 512 * 1024);
    if (!disk->Mounted()) GTEST_SKIP() << disk->Why();
    LinkAddinFiles();  // the mount hides the fixture's links
  }
  // The add-in shuts down while the services it was given still exist.
  void TearDown() override {
    if (connection) connection->OnBeginShutdown();
    connection.reset();
  }
  void StartWithWindow() {
    Start();
    host->NewMail("w1");
    host->Activate("w1");
  }
  int Attachments() { return host->FindMail("w1")->GetAttachments()->Count(); }

  std::unique_ptr<testsupport::SmallDisk> disk;
};

TEST_F(FullDiskTest, ARecordingThatFillsTheDiskSaysSoWhenStopped) {
  StartWithWindow();
  fake.boxes.Queue(platform::Answer::No);
  Click("w1", "Record");
  Wait(10'000);  // ten seconds at 44,100 Hz cannot fit
  Click("w1", "Stop");
  Wait(500);
  EXPECT_EQ(fake.LastBoxText(),
            "Insp SaveWaveFile\r\n" + AddinFile("Temp.wav") +
                "\r\nRecord Failure\r\nThe recording could not be written completely to disk: " +
                kNoSpace + ".\r\nDo you want to quit Sonvera?");
  EXPECT_EQ(Attachments(), 0);
  EXPECT_TRUE(fake.processes.Starts().empty()) << "nothing was there to encode";
}

TEST_F(FullDiskTest, AnEncoderThatRunsOutOfSpaceIsNamedAndTheRecordingKept) {
  platform::LinuxProcesses processes;
  auto real =
      fake.Use(&platform::Services::processes, static_cast<platform::Processes*>(&processes));
  StartWithWindow();
  testsupport::WriteWav(AddinFile("Temp.wav"), testsupport::Ramp(11025 * 8), 11025);
  const std::string recording = ScratchFolder::Read(AddinFile("Temp.wav"));
  disk->Fill(4096);  // room for the start of an MP3, not for all of it
  fake.boxes.Queue(platform::Answer::No);
  sonvera::FrmProp::Instance().ActiveInsp->SaveWaveFile();
  EXPECT_EQ(fake.LastBoxText(), "Insp SaveWaveFile\r\n" + AddinFile("Sonvera.mp3") +
                                    "\r\nError adding attachment to message.\r\n" + kNoSpace +
                                    " (the encoder ended with exit code 1: Error writing mp3 "
                                    "output)\r\nDo you want to quit Sonvera?");
  EXPECT_FALSE(ScratchFolder::Exists(AddinFile("Sonvera.mp3"))) << "the partial MP3 stayed";
  EXPECT_EQ(ScratchFolder::Read(AddinFile("Temp.wav")), recording) << "the recording was lost";
  EXPECT_EQ(Attachments(), 0);
}

TEST_F(FullDiskTest, AQualityThatCannotBeSavedIsSaidAndTheDialogStays) {
  auto registry = std::make_unique<platform::RegistryLinux>(addin.File("registry.reg"));
  auto file =
      fake.Use(&platform::Services::registry, static_cast<platform::Registry*>(registry.get()));
  sonvera::SetRegValue(platform::kHkeyCurrentUser, sonvera::kSettingsKey, sonvera::kValueAQ,
                       std::string("1"), true);
  StartWithWindow();
  Click("w1", "Properties");
  auto& dialog = sonvera::FrmProp::Instance();
  ASSERT_TRUE(dialog.Visible());
  auto choose = [&](int position) {
    dialog.Window()->Find("SetQ")->listIndex = position;
    dialog.Window()->Find("Command1")->onClick();
  };
  disk->Fill();
  fake.boxes.Queue(platform::Answer::Ok);
  choose(3);
  EXPECT_EQ(fake.LastBoxText(),
            std::string("The recording quality could not be saved.\r\n") + kNoSpace);
  EXPECT_TRUE(dialog.Visible()) << "the choice that was not kept went with the dialog";
  EXPECT_EQ(sonvera::AudioQuality(), 1);
  for (const auto& name : ScratchFolder::Names(addin.Path()))
    EXPECT_EQ(name.find(".tmp."), std::string::npos) << "a half-written copy stayed: " << name;
  {
    platform::RegistryLinux nextRun(addin.File("registry.reg"));
    auto again =
        fake.Use(&platform::Services::registry, static_cast<platform::Registry*>(&nextRun));
    EXPECT_EQ(sonvera::AudioQuality(), 1) << "the stored quality was lost";
  }
  // With room again, Ok keeps the choice and closes.
  disk->Free();
  fake.boxes.ClearShown();
  choose(3);
  EXPECT_TRUE(fake.boxes.Shown().empty());
  EXPECT_FALSE(dialog.Visible());
  EXPECT_EQ(sonvera::AudioQuality(), 3);
}

}  // namespace
