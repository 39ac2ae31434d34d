// Recording into a mail, end to end on the deterministic platform with the
// real encoder, and the failures of saving that no scenario can stage.
#include <gtest/gtest.h>
#include <mpg123.h>

#include <filesystem>
#include <fstream>

#include "audio/FrmProp.h"
#include "host/model/Attachments.h"
#include "host/model/MailItem.h"
#include "settings/Reg.h"
#include "settings/Settings.h"
#include "tests/support/VoiceFixture.h"

namespace {

using testsupport::ScratchFolder;
using testsupport::VoiceFixture;

struct Decoded {
  long rate = 0;
  double seconds = 0;
};

Decoded Decode(const std::string& path) {
  Decoded result;
  mpg123_handle* handle = mpg123_new(nullptr, nullptr);
  mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  int channels = 0, encoding = 0;
  if (mpg123_open(handle, path.c_str()) == MPG123_OK &&
      mpg123_getformat(handle, &result.rate, &channels, &encoding) == MPG123_OK) {
    unsigned char buffer[16384];
    size_t done = 0;
    size_t bytes = 0;
    while (mpg123_read(handle, buffer, sizeof buffer, &done) == MPG123_OK) bytes += done;
    bytes += done;
    result.seconds = static_cast<double>(bytes) / (2.0 * channels * result.rate);
  }
  mpg123_close(handle);
  mpg123_delete(handle);
  return result;
}

class InspTest : public VoiceFixture {
 protected:
  void SetQuality(const char* aq) {
    sonvera::SetRegValue(platform::kHkeyCurrentUser, sonvera::kSettingsKey, sonvera::kValueAQ,
                         std::string(aq), true);
  }
  std::vector<std::string> AttachmentNames(const std::string& window) {
    std::vector<std::string> names;
    auto mail = host->FindMail(window);
    auto list = mail->GetAttachments();
    for (int i = 1; i <= list->Count(); ++i) names.push_back(list->GetItem(i)->FileName());
    return names;
  }
};

TEST_F(InspTest, ARecordingBecomesTheFirstAttachmentAtTheRateOfTheQuality) {
  UseRealProcesses();
  Start();
  const std::pair<const char*, long> qualities[] = {{"0", 8000}, {"3", 44100}};
  int n = 0;
  for (const auto& [aq, rate] : qualities) {
    SetQuality(aq);
    const std::string window = "w" + std::to_string(++n);
    host->NewMail(window);
    host->Attach(window, SONVERA_TEST_SOURCE_DIR "/tests/scenarios/host_files/notes.txt");
    host->Activate(window);
    Click(window, "Record");
    Wait(3000);
    Click(window, "Stop");
    EXPECT_EQ(Shown(window), (std::vector<std::string>{"Sonvera", "Record", "Properties"}))
        << "Wait at once, the recording not attached yet";
    Wait(500);
    ASSERT_EQ(AttachmentNames(window), (std::vector<std::string>{"Sonvera.mp3", "notes.txt"}));
    EXPECT_EQ(Shown(window), (std::vector<std::string>{"Sonvera", "Play", "Delete", "Properties"}));
    const auto decoded = Decode(AddinFile("Sonvera.mp3"));
    EXPECT_EQ(decoded.rate, rate) << "AQ " << aq;
    // The device stops half a second after the click; the encoder pads a little.
    EXPECT_NEAR(decoded.seconds, 3.5, 0.25) << "AQ " << aq;
    EXPECT_FALSE(ScratchFolder::Exists(AddinFile("Temp.wav")));
  }
}

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
