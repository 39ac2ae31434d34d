// A disk that runs out under the add-in: the person reads the system's
// reason, and nothing that was stored is lost. The add-in folder (and where
// it matters the registry file) sits on a small disk of the test's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

namespace fs = std::filesystem;
using testsupport::ScratchFolder;

constexpr const char* kNoSpace = "No space left on device";

class FullDiskTest : public testsupport::VoiceFixture {
 protected:
  void SetUp() override {
    disk = std::make_unique<testsupport::SmallDisk>(addin.Path(), 512 * 1024);
    if (!disk->Mounted()) GTEST_SKIP() << disk->Why();
    // The mount hides the links the fixture made: the same again on the disk.
    for (const auto& entry : fs::directory_iterator(SONVERA_TEST_ADDIN_DIR)) {
      const auto name = entry.path().filename().string();
      if (name == "Temp.wav" || name == "Sonvera.mp3" || name == "R.wav") continue;
      fs::create_symlink(entry.path(), addin.File(name));
    }
  }
  void TearDown() override {
    // The add-in shuts down while the services it was given still exist.
    if (connection) connection->OnBeginShutdown();
    connection.reset();
    fake.GetServices().processes = &fake.processes;
    fake.GetServices().registry = &fake.registry;
    fake.Reinstall();
  }
  void UseRealProcesses() {
    processes = std::make_unique<platform::LinuxProcesses>();
    fake.GetServices().processes = processes.get();
    fake.Reinstall();
  }
  platform::RegistryLinux& UseRegistryFile() {
    registry = std::make_unique<platform::RegistryLinux>(addin.File("registry.reg"));
    fake.GetServices().registry = registry.get();
    fake.Reinstall();
    return *registry;
  }
  std::string Text(const std::string& path) { return ScratchFolder::Read(path); }
  int Attachments(const std::string& window) {
    return host->FindMail(window)->GetAttachments()->Count();
  }

  std::unique_ptr<testsupport::SmallDisk> disk;
  std::unique_ptr<platform::LinuxProcesses> processes;
  std::unique_ptr<platform::RegistryLinux> registry;
};

TEST_F(FullDiskTest, ARecordingThatFillsTheDiskSaysSoWhenStopped) {
  Start();
  host->NewMail("w1");
  host->Activate("w1");
  fake.boxes.Queue(platform::Answer::No);
  Click("w1", "Record");
  Wait(10'000);  // ten seconds at 44,100 Hz cannot fit
  Click("w1", "Stop");
  Wait(500);
  EXPECT_EQ(fake.LastBoxText(),
            "Insp SaveWaveFile\r\n" + AddinFile("Temp.wav") +
                "\r\nRecord Failure\r\nThe recording could not be written completely to disk: " +
                kNoSpace + ".\r\nDo you want to quit Sonvera?");
  EXPECT_EQ(Attachments("w1"), 0);
  EXPECT_TRUE(fake.processes.Starts().empty()) << "nothing was there to encode";
}

TEST_F(FullDiskTest, AnEncoderThatRunsOutOfSpaceIsNamedAndTheRecordingKept) {
  UseRealProcesses();
  Start();
  host->NewMail("w1");
  host->Activate("w1");
  auto owner = sonvera::FrmProp::Instance().ActiveInsp;
  ASSERT_TRUE(owner);
  testsupport::WriteWav(AddinFile("Temp.wav"), testsupport::Ramp(11025 * 8), 11025);
  const std::string recording = Text(AddinFile("Temp.wav"));
  disk->Fill(4096);  // room for the start of an MP3, not for all of it
  fake.boxes.Queue(platform::Answer::No);
  owner->SaveWaveFile();
  EXPECT_EQ(fake.LastBoxText(), "Insp SaveWaveFile\r\n" + AddinFile("Sonvera.mp3") +
                                    "\r\nError adding attachment to message.\r\n" + kNoSpace +
                                    " (the encoder ended with exit code 1: Error writing mp3 "
                                    "output)\r\nDo you want to quit Sonvera?");
  EXPECT_FALSE(ScratchFolder::Exists(AddinFile("Sonvera.mp3"))) << "the partial MP3 stayed";
  EXPECT_EQ(Text(AddinFile("Temp.wav")), recording) << "the recording was lost";
  EXPECT_EQ(Attachments("w1"), 0);
}

TEST_F(FullDiskTest, AQualityThatCannotBeSavedIsSaidAndTheDialogStays) {
  UseRegistryFile();
  sonvera::SetRegValue(platform::kHkeyCurrentUser, sonvera::kSettingsKey, sonvera::kValueAQ,
                       std::string("1"), true);
  Start();
  host->NewMail("w1");
  host->Activate("w1");
  Click("w1", "Properties");
  auto& dialog = sonvera::FrmProp::Instance();
  ASSERT_TRUE(dialog.Visible());
  auto choose = [&](int position) {
    auto* list = dialog.Window()->Find("SetQ");
    list->listIndex = position;
    dialog.Window()->Find("Command1")->onClick();
  };
  disk->Fill();
  fake.boxes.Queue(platform::Answer::Ok);
  choose(3);
  EXPECT_EQ(fake.LastBoxText(),
            std::string("The recording quality could not be saved.\r\n") + kNoSpace);
  EXPECT_TRUE(dialog.Visible()) << "the choice that was not kept went with the dialog";
  EXPECT_EQ(sonvera::AudioQuality(), 1);
  UseRegistryFile();  // as the next run reads it
  EXPECT_EQ(sonvera::AudioQuality(), 1) << "the stored quality was lost";
  // With room again, Ok keeps the choice and closes.
  disk->Free();
  fake.boxes.ClearShown();
  choose(3);
  EXPECT_TRUE(fake.boxes.Shown().empty());
  EXPECT_FALSE(dialog.Visible());
  EXPECT_EQ(sonvera::AudioQuality(), 3);
}

}  // namespace
