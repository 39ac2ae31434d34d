// The failures of saving a recording that no scenario can stage. A recording
// that becomes the mail's first attachment, encoded at the rate of the
// quality, is the voice_* and meter_dialog scenarios'.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>

#include "audio/Encoding.h"
#include "audio/FrmProp.h"
#include "host/model/Attachments.h"
#include "host/model/CommandBar.h"
#include "host/model/CommandBarButton.h"
#include "host/model/CommandBarControls.h"
#include "host/model/CommandBars.h"
#include "host/model/MailItem.h"
#include "platform/Media.h"
#include "platform/linux/LinuxProcesses.h"
#include "settings/Reg.h"
#include "settings/Settings.h"
#include "tests/support/ProcessState.h"
#include "tests/support/SoundFiles.h"
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
  // The visible button of the window's bar with this caption, or null.
  std::shared_ptr<mailhost::CommandBarButton> Button(const std::string& window,
                                                     const std::string& caption) {
    for (const auto& control : host->BarsOf(window)->Newest()->ControlList()->All()) {
      if (control->Caption() == caption && control->Visible())
        return std::dynamic_pointer_cast<mailhost::CommandBarButton>(control);
    }
    return nullptr;
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

// An encoder that fails part way must never pass for one that finished: what
// it wrote is removed, nothing is attached, the recording stays for another
// try, and the box says what happened to it.
TEST_F(SaveWaveFileTest, AFailedEncoderIsReportedAndItsPartialMp3NeverAttached) {
  struct Case {
    int exitCode;
    int signal;
    std::string said;
    std::string written;  // what it leaves as Sonvera.mp3
    std::string description;
  };
  const Case cases[] = {
      {0, 9, "", "ID3 part of a voice", "The encoder was ended by signal 9 (Killed)."},
      {1, 0, "Error writing mp3 output", "ID3 part",
       "The encoder ended with exit code 1: Error writing mp3 output."},
      {0, 0, "", "", "The encoder wrote an empty MP3."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description);
    WriteWav(100);
    fake.processes.SetRun(2, c.exitCode, c.signal, c.said);
    fake.processes.OnStart(
        [&](const std::string&) { std::ofstream(AddinFile("Sonvera.mp3")) << c.written; });
    fake.boxes.Queue(platform::Answer::No);
    owner->SaveWaveFile();
    EXPECT_EQ(fake.LastBoxText(), "Insp SaveWaveFile\r\n" + AddinFile("Sonvera.mp3") +
                                      "\r\nError adding attachment to message.\r\n" +
                                      c.description + "\r\nDo you want to quit Sonvera?");
    EXPECT_FALSE(ScratchFolder::Exists(AddinFile("Sonvera.mp3"))) << "the partial MP3 stayed";
    EXPECT_TRUE(ScratchFolder::Exists(AddinFile("Temp.wav"))) << "the recording was lost";
    EXPECT_TRUE(AttachmentNames("w1").empty());
    EXPECT_EQ(owner->toolbarState(), "Wait");
  }
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
    const long reading = now;
    now += 60;
    return reading;
  };
  fake.boxes.Queue(platform::Answer::No);
  owner->SaveWaveFile();
  sonvera::SecondsSinceMidnight = savedClock;
  EXPECT_FALSE(killedTooSoon) << "a 100-second recording gets 1,000 seconds";
  EXPECT_EQ(fake.processes.Killed().size(), 1u) << "the hung encoder was left running";
  EXPECT_NE(fake.LastBoxText().find("The encoder did not finish within 17 minutes and was ended."),
            std::string::npos)
      << fake.LastBoxText();
  EXPECT_FALSE(ScratchFolder::Exists(AddinFile("Sonvera.mp3")));
  EXPECT_TRUE(ScratchFolder::Exists(AddinFile("Temp.wav")));
  EXPECT_TRUE(AttachmentNames("w1").empty());
}

// The host quits while the encoder runs: the wait gives up at once, the
// encoder is ended, nothing is attached, and no box waits for an answer.
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
  EXPECT_FALSE(ScratchFolder::Exists(AddinFile("Sonvera.mp3")));
  EXPECT_TRUE(ScratchFolder::Exists(AddinFile("Temp.wav")));
  EXPECT_TRUE(AttachmentNames("w1").empty());
}

// The same with a real encoder that hangs, and a program of its own that
// would outlive it: both are ended.
TEST_F(SaveWaveFileTest, TheHostsExitEndsAHungEncoderAndWhatItStarted) {
  platform::LinuxProcesses processes;
  fake.GetServices().processes = &processes;
  fake.Reinstall();
  struct Restore {
    testsupport::FakePlatform& fake;
    ~Restore() {
      fake.GetServices().processes = &fake.processes;
      fake.Reinstall();
    }
  } restore{fake};
  std::filesystem::remove(AddinFile("lame"));
  addin.Write("lame", "#!/bin/sh\nsleep 600 &\necho $! > \"$(dirname \"$0\")/sleeper\"\nwait\n",
              true);
  WriteWav(100);
  // The host quits once the encoder has started its own program.
  int polls = 0;
  std::function<void()> quitWhenStarted = [&] {
    if (ScratchFolder::Read(AddinFile("sleeper")).empty() && ++polls < 3000) {
      fake.loop.Post(quitWhenStarted);
    } else {
      fake.loop.EndAll();
    }
  };
  fake.loop.Post(quitWhenStarted);
  owner->SaveWaveFile();
  const std::string sleeper = ScratchFolder::Read(AddinFile("sleeper"));
  ASSERT_FALSE(sleeper.empty()) << "the encoder never started its program";
  EXPECT_TRUE(testsupport::Eventually([&] { return testsupport::Ended(std::stoi(sleeper)); }))
      << "the encoder's program runs on after the host's exit";
  EXPECT_TRUE(fake.boxes.Shown().empty()) << fake.LastBoxText();
  EXPECT_TRUE(ScratchFolder::Exists(AddinFile("Temp.wav")));
  EXPECT_TRUE(AttachmentNames("w1").empty());
}

TEST_F(InspTest, NoRecordingOrPlayStartsWhileARecordingIsEncoded) {
  mailhost::StoredItem received;
  received.id = "m1";
  received.attachments.push_back(
      {"hello.mp3", {'I', 'D', '3', 'r', 'e', 'c', 'e', 'i', 'v', 'e', 'd'}});
  host->AddItem("Inbox", received);
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
    auto other = Button("w2", "Record");
    ASSERT_TRUE(other && other->Enabled());
    other->Press();
    modeAfterClicks = recorder.WStatus();
    // Playing saves to the very file the encoder writes.
    Button("explorer", "Play")->Press();
    modeAfterPlay = recorder.WStatus();
  });
  Wait(500);
  ASSERT_EQ(fake.processes.Starts().size(), 1u);
  EXPECT_FALSE(recordEnabled) << "Record could be clicked while the recording was encoded";
  EXPECT_NE(modeAfterClicks, platform::media_mode::kRecord) << "a second recording started";
  EXPECT_NE(modeAfterPlay, platform::media_mode::kPlay) << "a play started";
  EXPECT_EQ(AttachmentNames("w1"), std::vector<std::string>{"Sonvera.mp3"});
  EXPECT_EQ(ScratchFolder::Read(AddinFile("Sonvera.mp3")), "ID3 a voice")
      << "the encoder's MP3 was overwritten by a play";
  // Once it is attached, recording works again.
  host->Activate("w2");
  Click("w2", "Record");
  EXPECT_EQ(recorder.WStatus(), platform::media_mode::kRecord);
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
  fake.processes.OnStart(
      [&](const std::string&) { std::ofstream(AddinFile("Sonvera.mp3")) << "fresh"; });
  owner->SaveWaveFile();
  ASSERT_EQ(AttachmentNames("w1"), std::vector<std::string>{"Sonvera.mp3"});
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
