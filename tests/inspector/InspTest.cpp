// What of a mail window no scenario can stage: its bar's whole property
// table, failures of saving a recording, and the recorder's callbacks. A
// recording that becomes the mail's first attachment, encoded at the rate of
// the quality, is the voice_* and meter_dialog scenarios'.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "audio/Encoding.h"
#include "audio/FrmProp.h"
#include "host/model/Attachments.h"
#include "host/model/CommandBar.h"
#include "host/model/CommandBars.h"
#include "host/model/MailItem.h"
#include "platform/Media.h"
#include "settings/Reg.h"
#include "settings/Settings.h"
#include "tests/support/BarRows.h"
#include "tests/support/SoundFiles.h"
#include "tests/support/VoiceFixture.h"

namespace {

using platform::Answer;
using testsupport::ScratchFolder;
using Names = std::vector<std::string>;

class InspTest : public testsupport::VoiceFixture {
 protected:
  Names AttachmentNames(const std::string& window) {
    Names names;
    auto list = host->FindMail(window)->GetAttachments();
    for (int i = 1; i <= list->Count(); ++i) names.push_back(list->GetItem(i)->FileName());
    return names;
  }
  // A received mail in the Inbox with one attachment.
  void Receive(const std::string& id, const std::string& name, const std::string& bytes) {
    auto item = testsupport::StoredMail(id, "Voice");
    item.attachments.push_back({name, {bytes.begin(), bytes.end()}});
    host->AddItem("Inbox", item);
  }
};

// Every property of a mail window's bar as its first activation leaves it;
// later activations find the controls by these positions.
TEST_F(InspTest, TheMailWindowsBarHasItsWholePropertyTable) {
  Start();
  host->NewMail("w1");
  host->Activate("w1");
  auto bar = host->BarsOf("w1")->Newest();
  EXPECT_EQ(bar->Name(), "Sonvera");
  EXPECT_TRUE(bar->Temporary());
  EXPECT_EQ(bar->Protection(), hostmodel::kMsoBarNoCustomize);
  const std::string insp = "|!<Sonvera.Insp>|style ";
  EXPECT_EQ(testsupport::BarRows(*bar),
            (Names{"1|Sonvera|voice mail servece|70|shown|enabled" + insp + "3|Sonvera.bmp",
                   "1|Record|voice mail service|70|shown|enabled" + insp + "3|RecordButton.bmp",
                   "1|Pause|Stop recording and attach the file|70|hidden|enabled" + insp +
                       "3|PauseButton.bmp",
                   "1|Play/Stop|Play file|70|hidden|enabled" + insp + "3|PlayButton.bmp",
                   "3||Choose file to play|100|hidden|enabled||style 1",
                   "1|Delete|Delete file|70|hidden|enabled" + insp + "3|DeleteButton.bmp",
                   "1|Properties|voice mail service|20|shown|enabled" + insp +
                       "1|PropertiesButton.bmp"}));
}

// A sound device that refuses every command, as one another program holds.
struct DeadDevice : platform::MediaDevice {
  void SetDeviceType(const std::string&) override {}
  void SetFileName(const std::string&) override {}
  void SetWait(bool) override {}
  void SetShareable(bool) override {}
  void SetNotify(bool) override {}
  void SetRecordMode(int) override {}
  int Mode() const override { return platform::media_mode::kNotOpen; }
  void Command(const std::string&) override { throw platform::Error("The device is busy."); }
};
struct DeadMedia : platform::Media {
  std::unique_ptr<platform::MediaDevice> CreateDevice() override {
    return std::make_unique<DeadDevice>();
  }
};

// While its mail is on its way (here refused by the server, the window still
// open) a window's failing Record and Play say nothing; once it is activated
// again they do.
TEST_F(InspTest, AWindowWhoseMailIsBeingSentFailsWithoutAWord) {
  Start();
  host->SetDelivery(
      "me@example.org",
      [](mailhost::StoredItem&) -> mailhost::Handover {
        return [](const std::atomic<bool>&) { return std::string("550 refused"); };
      },
      mailhost::MailHost::DeliveryThread::Ui);
  host->NewMail("w1");
  host->NewMail("w2");
  host->Attach("w2", std::string(SONVERA_TEST_SOURCE_DIR) + "/tests/scenarios/host_files/a.mp3");
  for (const char* window : {"w1", "w2"}) {
    host->Activate(window);
    host->WrittenMail(window)->SetTo("bob@example.org");
    fake.boxes.Queue(Answer::Ok);
    ASSERT_EQ(host->Send(window), mailhost::MailHost::SendResult::Failed);
  }
  DeadMedia dead;
  auto clickOnDeadDevice = [&](const char* window, const char* button) {
    sonvera::FrmProp::Instance().Unload();
    auto busy = fake.Use(&platform::Services::media, static_cast<platform::Media*>(&dead));
    Click(window, button);
    sonvera::FrmProp::Instance().Unload();
  };
  const auto boxes = fake.boxes.Shown().size();
  clickOnDeadDevice("w1", "Record");
  clickOnDeadDevice("w2", "Play");
  EXPECT_EQ(fake.boxes.Shown().size(), boxes) << fake.LastBoxText();

  for (const auto& [window, button, source] :
       {std::tuple{"w1", "Record", "Mail Message Record Command"},
        std::tuple{"w2", "Play", "Insp CmdPlay_Click"}}) {
    host->Activate(window);
    fake.boxes.Queue(Answer::No);
    clickOnDeadDevice(window, button);
    EXPECT_EQ(fake.LastBoxText().rfind(source, 0), 0u) << fake.LastBoxText();
  }
}

// A closed window is no longer the one the recorder calls back; closing
// another one leaves those callbacks where they are.
TEST_F(InspTest, ClosingAWindowTakesItOutOfTheRecordersCallbacksOnly) {
  Receive("m1", "a.mp3",
          ScratchFolder::Read(std::string(SONVERA_TEST_SOURCE_DIR) +
                              "/tests/scenarios/host_files/a.mp3"));
  Start();
  host->NewMail("w2");
  host->Open("m1", "w1");
  host->Activate("w2");
  host->Activate("w1");
  Click("w1", "Play");
  auto& recorder = sonvera::FrmProp::Instance();
  const auto w1 = recorder.ActiveInsp;
  ASSERT_TRUE(w1);
  ASSERT_EQ(recorder.PlayCaller, w1);
  host->Close("w2");
  EXPECT_EQ(recorder.ActiveInsp, w1);
  EXPECT_EQ(recorder.PlayCaller, w1);
  host->Close("w1");
  EXPECT_FALSE(recorder.ActiveInsp);
  EXPECT_FALSE(recorder.PlayCaller);
}

TEST_F(InspTest, NoRecordingOrPlayStartsWhileARecordingIsEncoded) {
  Receive("m1", "hello.mp3", "ID3received");
  Start();
  host->Select({"m1"});
  host->NewMail("w2");
  host->NewMail("w1");
  host->Activate("w2");
  host->Activate("w1");
  Click("w1", "Record");
  Wait(1000);
  Click("w1", "Stop");
  auto& recorder = sonvera::FrmProp::Instance();
  bool recordEnabled = true;
  int modeAfterClicks = 0;
  int modeAfterPlay = 0;
  fake.processes.SetRun(3, 0);
  fake.processes.OnStart([&](const std::string&) {
    std::ofstream(AddinFile("Sonvera.mp3")) << "ID3 a voice";
    auto own = Button("w1", "Record");
    recordEnabled = own && own->Enabled();
    // Another window's bar was drawn before: its Record still takes clicks.
    Click("w2", "Record");
    modeAfterClicks = recorder.WStatus();
    // Playing saves to the very file the encoder writes.
    Click("explorer", "Play");
    modeAfterPlay = recorder.WStatus();
  });
  Wait(500);
  ASSERT_EQ(fake.processes.Starts().size(), 1u);
  EXPECT_FALSE(recordEnabled) << "Record could be clicked while the recording was encoded";
  EXPECT_NE(modeAfterClicks, platform::media_mode::kRecord) << "a second recording started";
  EXPECT_NE(modeAfterPlay, platform::media_mode::kPlay) << "a play started";
  EXPECT_EQ(AttachmentNames("w1"), Names{"Sonvera.mp3"});
  EXPECT_EQ(ScratchFolder::Read(AddinFile("Sonvera.mp3")), "ID3 a voice")
      << "the encoder's MP3 was overwritten by a play";
  // Once it is attached, recording works again.
  host->Activate("w2");
  Click("w2", "Record");
  EXPECT_EQ(recorder.WStatus(), platform::media_mode::kRecord);
}

TEST_F(InspTest, AnAttachmentNameWithFoldersIsPlayedFromTheAddinFolderOnly) {
  Receive("m1", "../../escape.mp3", "ID3");
  Start();
  host->Select({"m1"});
  Click("explorer", "Play");
  EXPECT_TRUE(ScratchFolder::Exists(AddinFile("Sonvera.mp3")));
  for (const char* outside : {"../../escape.mp3", "../escape.mp3"})
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(addin.Path()) / outside));
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
  // Saved with the encoder as scripted; No to any box.
  void Save() {
    fake.boxes.Queue(Answer::No);
    owner->SaveWaveFile();
  }
  // Nothing attached, no MP3 left, the recording kept for another try.
  void ExpectNothingLost() {
    EXPECT_FALSE(ScratchFolder::Exists(AddinFile("Sonvera.mp3"))) << "the partial MP3 stayed";
    EXPECT_TRUE(ScratchFolder::Exists(AddinFile("Temp.wav"))) << "the recording was lost";
    EXPECT_TRUE(AttachmentNames("w1").empty());
  }
  std::shared_ptr<sonvera::RecordingOwner> owner;
};

TEST_F(SaveWaveFileTest, AMissingOrShortRecordingIsAFailureBoxAndNothingRuns) {
  Save();
  EXPECT_NE(fake.LastBoxText().find("Insp SaveWaveFile\r\n" + AddinFile("Temp.wav") +
                                    "\r\nRecord Failure"),
            std::string::npos)
      << fake.LastBoxText();
  WriteWav(46);
  owner->setToolbarState(sonvera::ToolbarState::Playing);  // No puts the bar back to wait, whatever it was
  Save();
  EXPECT_NE(fake.LastBoxText().find("Record Failure - File too small"), std::string::npos);
  EXPECT_TRUE(fake.processes.Starts().empty());
  EXPECT_EQ(owner->toolbarState(), "Wait");
}

// An encoder that fails part way must never pass for one that finished: what
// it wrote is removed, nothing is attached, the recording stays for another
// try, and the box says what happened to it. 47 bytes are worth encoding.
TEST_F(SaveWaveFileTest, AFailedEncoderIsReportedAndItsPartialMp3NeverAttached) {
  struct Case {
    int exitCode;
    int signal;
    std::string said;
    const char* written;  // what it leaves as Sonvera.mp3, if anything
    std::string description;
  };
  const Case cases[] = {
      {0, 9, "", "ID3 part of a voice", "The encoder was ended by signal 9 (Killed)."},
      {1, 0, "Error writing mp3 output", "ID3 part",
       "The encoder ended with exit code 1: Error writing mp3 output."},
      {0, 0, "", "", "The encoder wrote an empty MP3."},
      {0, 0, "", nullptr, "The encoder wrote no MP3."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description);
    WriteWav(47);
    fake.processes.SetRun(2, c.exitCode, c.signal, c.said);
    fake.processes.OnStart([&](const std::string&) {
      if (c.written) std::ofstream(AddinFile("Sonvera.mp3")) << c.written;
    });
    Save();
    EXPECT_EQ(fake.LastBoxText(), "Insp SaveWaveFile\r\n" + AddinFile("Sonvera.mp3") +
                                      "\r\nError adding attachment to message.\r\n" +
                                      c.description + "\r\nDo you want to quit Sonvera?");
    ExpectNothingLost();
    EXPECT_EQ(owner->toolbarState(), "Wait");
  }
  EXPECT_EQ(fake.processes.Starts().size(), 4u);
}

// Ten minutes, or ten times the recording's length when that is longer: a
// hung encoder is ended then, and a slow one is not cut short before.
TEST_F(SaveWaveFileTest, AnEncoderThatNeverEndsIsEndedAfterItsTimeAndReported) {
  testsupport::WriteWav(AddinFile("Temp.wav"), std::vector<short>(8000 * 100), 8000);
  fake.processes.SetRun(1'000'000, 0);
  fake.processes.OnStart([&](const std::string&) {
    std::ofstream(AddinFile("Sonvera.mp3")) << "ID3 the start of it";
  });
  const auto savedClock = sonvera::SecondsSinceMidnight;
  long now = 50'000;
  const long started = now;
  bool killedTooSoon = false;
  // Each reading moves the clock on by a minute.
  sonvera::SecondsSinceMidnight = [&] {
    if (now - started <= 1000 && !fake.processes.Killed().empty()) killedTooSoon = true;
    return (now += 60) - 60;
  };
  Save();
  sonvera::SecondsSinceMidnight = savedClock;
  EXPECT_FALSE(killedTooSoon) << "a 100-second recording gets 1,000 seconds";
  EXPECT_EQ(fake.processes.Killed().size(), 1u) << "the hung encoder was left running";
  EXPECT_NE(fake.LastBoxText().find("The encoder did not finish within 17 minutes and was ended."),
            std::string::npos)
      << fake.LastBoxText();
  ExpectNothingLost();
}

// The host quits while the encoder runs: the wait gives up at once, the
// encoder is ended, nothing is attached, and no box waits for an answer (the
// same with a real encoder is QuitWhileEncoding's).
TEST_F(SaveWaveFileTest, TheHostsExitEndsTheEncoderAndKeepsTheRecordingWithoutABox) {
  WriteWav(100);
  fake.processes.SetRun(1'000'000, 0);
  fake.processes.OnStart([&](const std::string&) {
    std::ofstream(AddinFile("Sonvera.mp3")) << "ID3 the start of it";
    fake.loop.Post([&] { fake.loop.EndAll(); });
  });
  owner->SaveWaveFile();
  EXPECT_EQ(fake.processes.Killed().size(), 1u);
  EXPECT_TRUE(fake.boxes.Shown().empty()) << fake.LastBoxText();
  ExpectNothingLost();
}

TEST_F(SaveWaveFileTest, AStaleMp3IsNeverAttachedAndAnEmptyBodyGetsALineFeed) {
  std::ofstream(AddinFile("Sonvera.mp3")) << "an old voice file";
  WriteWav(100);
  fake.processes.OnStart(
      [&](const std::string&) { std::ofstream(AddinFile("Sonvera.mp3")) << "fresh"; });
  owner->SaveWaveFile();
  ASSERT_EQ(AttachmentNames("w1"), Names{"Sonvera.mp3"});
  EXPECT_EQ(ScratchFolder::Read(AddinFile("Sonvera.mp3")), "fresh");
  EXPECT_EQ(host->FindMail("w1")->Body(), "\n");
  EXPECT_FALSE(ScratchFolder::Exists(AddinFile("Temp.wav")));
}

TEST_F(SaveWaveFileTest, TheVoiceIsBroughtToItsLoudnessUnlessTheSettingOrTheDiskSaysNo) {
  const auto quiet =
      testsupport::Signal(11025, 5, [](double t) { return 0.05 * std::sin(t * 2765); });
  // This encoder keeps what it was given: the attachment is the file it read.
  fake.processes.OnStart([&](const std::string&) {
    std::filesystem::copy_file(AddinFile("Temp.wav"), AddinFile("Sonvera.mp3"),
                               std::filesystem::copy_options::overwrite_existing);
  });
  auto encode = [&] {
    testsupport::WriteWav(AddinFile("Temp.wav"), quiet, 11025);
    const std::string recorded = ScratchFolder::Read(AddinFile("Temp.wav"));
    owner->SaveWaveFile();
    EXPECT_EQ(fake.LastBoxText(), "") << "nobody is asked about the level";
    return ScratchFolder::Read(AddinFile("Sonvera.mp3")) == recorded;
  };
  EXPECT_FALSE(encode());
  EXPECT_NEAR(testsupport::MeasureLevel(AddinFile("Sonvera.mp3")).lufs, -16, 0.5);

  // A level that cannot be written goes as it was recorded.
  std::filesystem::create_directory(AddinFile("Temp.wav.level"));
  EXPECT_TRUE(encode()) << "the encoder did not get the recording as it was";
  std::filesystem::remove(AddinFile("Temp.wav.level"));

  sonvera::SetRegValue(platform::kHkeyCurrentUser, sonvera::kSettingsKey, sonvera::kValueNormalise,
                       std::string("0"), true);
  EXPECT_TRUE(encode()) << "the setting that turns it off did not";
}

TEST_F(SaveWaveFileTest, AMailSentWhileTheEncoderRunsFailsWithoutAWord) {
  WriteWav(100);
  fake.processes.SetRun(3, 0);
  fake.processes.OnStart([&](const std::string&) { host->Send("w1"); });
  owner->SaveWaveFile();
  EXPECT_EQ(fake.LastBoxText(), "");
}

}  // namespace
