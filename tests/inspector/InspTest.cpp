// The failures of saving a recording that no scenario can stage. A recording
// that becomes the mail's first attachment, encoded at the rate of the
// quality, is the voice_* and meter_dialog scenarios'.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "audio/FrmProp.h"
#include "host/model/Attachments.h"
#include "host/model/MailItem.h"
#include "tests/support/VoiceFixture.h"

namespace {

using testsupport::ScratchFolder;
using testsupport::VoiceFixture;

class InspTest : public VoiceFixture {
 protected:
  std::vector<std::string> AttachmentNames(const std::string& window) {
    std::vector<std::string> names;
    auto mail = host->FindMail(window);
    auto list = mail->GetAttachments();
    for (int i = 1; i <= list->Count(); ++i) names.push_back(list->GetItem(i)->FileName());
    return names;
  }
};

class SaveWaveFileTest : public InspTest {
 protected:
  void SetUp() override {
    Start();
    host->NewMail("w1");
    host->Activate("w1");
    owner = sonvera::FrmProp::Instance().ActiveInsp;
    ASSERT_TRUE(owner);
  }
  void WriteWav(std::size_t bytes) {
    std::ofstream(AddinFile("Temp.wav"), std::ios::binary) << std::string(bytes, 'R');
  }
  std::shared_ptr<sonvera::RecordingOwner> owner;
};

TEST_F(SaveWaveFileTest, AMissingOrShortRecordingIsAFailureBoxAndNothingRuns) {
  fake.boxes.Queue(platform::Answer::No);
  owner->SaveWaveFile();
  EXPECT_NE(fake.LastBoxText().find("Insp SaveWaveFile\r\n" + AddinFile("Temp.wav") +
                                    "\r\nRecord Failure"),
            std::string::npos)
      << fake.LastBoxText();
  WriteWav(46);
  fake.boxes.Queue(platform::Answer::No);
  owner->SaveWaveFile();
  EXPECT_NE(fake.LastBoxText().find("Record Failure - File too small"), std::string::npos);
  EXPECT_TRUE(fake.processes.Starts().empty());
  EXPECT_EQ(owner->toolbarState(), "Wait");
}

TEST_F(SaveWaveFileTest, AnEncoderThatLeavesNoMp3KeepsTheRecording) {
  WriteWav(47);
  fake.processes.SetRun(2, 0);
  fake.boxes.Queue(platform::Answer::No);
  owner->SaveWaveFile();
  ASSERT_EQ(fake.processes.Starts().size(), 1u) << "47 bytes are worth encoding";
  EXPECT_NE(fake.LastBoxText().find("Error adding attachment to message."), std::string::npos);
  EXPECT_TRUE(ScratchFolder::Exists(AddinFile("Temp.wav")));
  EXPECT_TRUE(AttachmentNames("w1").empty());
}

TEST_F(SaveWaveFileTest, AStaleMp3IsNeverAttachedAndAnEmptyBodyGetsALineFeed) {
  std::ofstream(AddinFile("Sonvera.mp3")) << "an old voice file";
  WriteWav(100);
  fake.processes.OnStart([&](const std::string&) {
    std::ofstream(AddinFile("Sonvera.mp3")) << "fresh";
  });
  owner->SaveWaveFile();
  ASSERT_EQ(AttachmentNames("w1"), std::vector<std::string>{"Sonvera.mp3"});
  EXPECT_EQ(ScratchFolder::Read(AddinFile("Sonvera.mp3")), "fresh");
  EXPECT_EQ(host->FindMail("w1")->Body(), "\n");
  EXPECT_FALSE(ScratchFolder::Exists(AddinFile("Temp.wav")));
}

TEST_F(SaveWaveFileTest, AMailSentWhileTheEncoderRunsFailsWithoutAWord) {
  WriteWav(100);
  fake.processes.SetRun(3, 0);
  fake.processes.OnStart([&](const std::string&) { host->Send("w1"); });
  owner->SaveWaveFile();
  EXPECT_EQ(fake.LastBoxText(), "");
}

TEST_F(InspTest, AnAttachmentNameWithFoldersIsPlayedFromTheAddinFolderOnly) {
  mailhost::StoredItem item;
  item.id = "m1";
  item.attachments.push_back({"../../escape.mp3", {'I', 'D', '3'}});
  host->AddItem("Inbox", item);
  Start();
  host->Select({"m1"});
  Click("explorer", "Play");
  EXPECT_TRUE(ScratchFolder::Exists(AddinFile("Sonvera.mp3")));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(addin.Path()) / "../../escape.mp3"));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(addin.Path()) / "../escape.mp3"));
}

}  // namespace
