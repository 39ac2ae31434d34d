// The media device's contract, run against the virtual-time device and the
// ALSA one (on ALSA's null device with a file-fed microphone). Each backend's
// traits know how to let time pass: the fake moves its virtual clock, the
// real one runs its loop on the wall clock.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Error.h"
#include "platform/Media.h"
#include "tests/platform/MediaBackends.h"
#include "tests/support/ContractTest.h"
#include "tests/support/ErrorText.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SoundFiles.h"

namespace platform {
namespace {

using namespace std::chrono_literals;
using testsupport::Ramp;
using testsupport::RampBreaks;
using testsupport::ReadWav;
using testsupport::WriteWav;
namespace mode = media_mode;
namespace notify = media_notify;

template <typename Backend>
class MediaContractTest : public testing::Test, public DeviceCommands {
 protected:
  MediaContractTest() {
    m_backend.UseMicrophone(m_folder.Path(), Ramp(44100 * 12));
    m_device = m_backend.Media().CreateDevice();
    m_device->onDone = [this](int code) {
      m_done.push_back(code);
      m_doneThreads.push_back(std::this_thread::get_id());
    };
  }

  // The device goes before the backend that made it.
  ~MediaContractTest() override { m_device.reset(); }
  std::string File(const std::string& name) { return m_folder.File(name); }
  void Pass(Millis d) { m_backend.Pass(d); }
  bool RunUntilDone() {
    return m_backend.RunUntil([this] { return !m_done.empty(); });
  }

  void Record() {
    m_backend.Mark();
    Device().Command("Record");
  }
  void StartRecording(const std::string& target) {
    OpenForRecording(target);
    Record();
  }
  // Plays what is open to its end, which must be a successful one.
  void PlayToEnd(const std::string& what) {
    m_done.clear();
    Device().Command("play");
    EXPECT_EQ(Device().Mode(), mode::kPlay) << what;
    EXPECT_TRUE(RunUntilDone()) << what << " never ended";
    EXPECT_EQ(m_done, std::vector<int>{notify::kSuccessful}) << what;
  }

  testsupport::ScratchFolder m_folder;
  Backend m_backend;
  std::vector<int> m_done;
  std::vector<std::thread::id> m_doneThreads;
};

SONVERA_CONTRACT_SUITE(MediaContractTest, FakeMediaBackend, AlsaMediaBackend, PageMediaBackend);

TYPED_TEST(MediaContractTest, RecordingHoldsTheMicrophoneAndSavesACompleteWav) {
  const std::string target = this->File("R.wav");
  EXPECT_EQ(this->Device().Mode(), mode::kNotOpen);
  this->OpenForRecording(target);
  EXPECT_EQ(this->Device().Mode(), mode::kStop);
  this->Record();
  EXPECT_EQ(this->Device().Mode(), mode::kRecord);
  this->Pass(1500ms);
  this->Save(this->File("Temp.wav"));
  EXPECT_EQ(this->Device().Mode(), mode::kStop);

  // A missing target is made as 16-bit mono at 44,100 Hz, and kept.
  EXPECT_EQ(ReadWav(target).rate, 44100);
  EXPECT_EQ(ReadWav(target).channels, 1);
  const auto saved = ReadWav(this->File("Temp.wav"));
  ASSERT_EQ(saved.rate, 44100) << "Temp.wav is not a readable WAV";
  EXPECT_EQ(saved.channels, 1);
  this->m_backend.ExpectFrames(saved.Frames(), 44100, 1500ms);
  EXPECT_EQ(RampBreaks(saved.samples), 0u) << "samples of the microphone were lost or repeated";
  EXPECT_TRUE(this->m_done.empty()) << "recording commands raise no Done";

  // The recording is over once saved: nothing is left behind in the folder.
  this->Device().Command("Close");
  EXPECT_EQ(this->Device().Mode(), mode::kNotOpen);
  for (const auto& entry : std::filesystem::directory_iterator(this->m_folder.Path()))
    EXPECT_NE(entry.path().filename().string().rfind(".recording", 0), 0u) << entry.path();

  // Recorded over a target that holds sound, the new recording keeps none of
  // it, and the installed target itself is never written to.
  WriteWav(target, std::vector<short>(44100, 7));
  this->StartRecording(target);
  this->Pass(1000ms);
  this->Save(this->File("over.wav"));
  const auto over = ReadWav(this->File("over.wav"));
  this->m_backend.ExpectFrames(over.Frames(), 44100, 1000ms);
  ASSERT_FALSE(over.samples.empty());
  EXPECT_NE(over.samples[0], 7) << "the old content was kept";
  EXPECT_EQ(ReadWav(target).samples, std::vector<short>(44100, 7));
}

TYPED_TEST(MediaContractTest, RecordAfterPauseGoesOnAfterWhatWasRecorded) {
  this->StartRecording(this->File("R.wav"));
  this->Pass(1000ms);
  this->Device().Command("Pause");
  EXPECT_EQ(this->Device().Mode(), mode::kPause);
  this->Pass(700ms);
  EXPECT_EQ(this->Device().Mode(), mode::kPause);
  this->Device().Command("Record");  // a resume: the length counts from the first
  EXPECT_EQ(this->Device().Mode(), mode::kRecord);
  this->Pass(1000ms);
  this->Save(this->File("Temp.wav"));

  const auto saved = ReadWav(this->File("Temp.wav"));
  ASSERT_EQ(saved.rate, 44100);
  this->m_backend.ExpectFrames(saved.Frames(), 44100, 2000ms);
  // One seam at the pause, the rest the microphone's own order.
  EXPECT_LE(RampBreaks(saved.samples), 1u);

  // Stopped while paused: the time paused is not in the recording.
  this->StartRecording(this->File("R.wav"));
  this->Pass(1000ms);
  this->Device().Command("Pause");
  this->Pass(1500ms);
  this->Save(this->File("Temp.wav"));
  this->m_backend.ExpectFrames(ReadWav(this->File("Temp.wav")).Frames(), 44100, 1000ms);
}

TYPED_TEST(MediaContractTest, SaveWithNothingRecordedLeavesNoFileToMistakeForARecording) {
  const std::string stale = this->File("Temp.wav");
  WriteWav(stale, Ramp(44100));
  this->OpenForRecording(this->File("R.wav"));
  this->Save(stale);
  EXPECT_FALSE(testsupport::ScratchFolder::Exists(stale));
}

TYPED_TEST(MediaContractTest, PlayEndsWithDoneOnTheLoopAndStops) {
  const std::string wav = this->File("half.wav");
  WriteWav(wav, Ramp(22050));
  this->OpenForPlay(wav);
  EXPECT_EQ(this->Device().Mode(), mode::kStop);
  this->Device().Command("play");
  EXPECT_EQ(this->Device().Mode(), mode::kPlay);
  EXPECT_TRUE(this->m_done.empty()) << "play returns at once";
  ASSERT_TRUE(this->RunUntilDone()) << "the play never ended";
  EXPECT_EQ(this->m_done, std::vector<int>{notify::kSuccessful});
  EXPECT_EQ(this->m_doneThreads[0], std::this_thread::get_id()) << "Done came on a device thread";
  EXPECT_EQ(this->Device().Mode(), mode::kStop);

  // Paused, a play holds its place and ends later.
  this->m_done.clear();
  this->Device().Command("play");
  this->Pass(100ms);
  this->Device().Command("Pause");
  EXPECT_EQ(this->Device().Mode(), mode::kPause);
  this->Pass(1500ms);
  EXPECT_TRUE(this->m_done.empty()) << "a paused play ended";
  this->Device().Command("play");
  EXPECT_EQ(this->Device().Mode(), mode::kPlay);
  ASSERT_TRUE(this->RunUntilDone());
  EXPECT_EQ(this->m_done, std::vector<int>{notify::kSuccessful});

  // With Notify false the play ends as quietly as it was asked for.
  this->m_done.clear();
  this->Device().SetNotify(false);
  this->Device().Command("play");
  this->Pass(1500ms);
  EXPECT_EQ(this->Device().Mode(), mode::kStop);
  EXPECT_TRUE(this->m_done.empty());

  // An MP3 plays to its end, and one cut in half to the cut.
  const std::string mp3 = this->File("voice.mp3");
  ASSERT_TRUE(testsupport::MakeMp3(wav, mp3)) << "the MP3 encoder is part of the system";
  const std::string bytes = testsupport::ScratchFolder::Read(mp3);
  std::ofstream(this->File("cut.mp3"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  this->Device().SetNotify(true);
  for (const char* name : {"voice.mp3", "cut.mp3"}) {
    this->OpenForPlay(this->File(name));
    this->PlayToEnd(name);
  }
}

TYPED_TEST(MediaContractTest, CloseDuringPlayIsSupersededAndNothingFollows) {
  const std::string wav = this->File("long.wav");
  WriteWav(wav, Ramp(44100 * 2));
  this->OpenForPlay(wav);
  this->Device().Command("play");
  this->Pass(300ms);
  EXPECT_EQ(this->Device().Mode(), mode::kPlay);
  this->Device().Command("Close");
  EXPECT_EQ(this->Device().Mode(), mode::kNotOpen);
  ASSERT_TRUE(this->RunUntilDone());
  this->Pass(2500ms);
  EXPECT_EQ(this->m_done, std::vector<int>{notify::kSuperseded});

  // Stop aborts it the same way, and leaves the file open.
  this->m_done.clear();
  this->OpenForPlay(wav);
  this->Device().Command("play");
  this->Pass(300ms);
  this->Device().Command("Stop");
  EXPECT_EQ(this->Device().Mode(), mode::kStop);
  ASSERT_TRUE(this->RunUntilDone());
  this->Pass(2500ms);
  EXPECT_EQ(this->m_done, std::vector<int>{notify::kAborted});
}

TYPED_TEST(MediaContractTest, TheWaveTypeLeftFromARecordingStillPlaysAndCreatesNothing) {
  // The recorder never clears the type, so the player opens with it set.
  const std::string wav = this->File("sample.wav");
  WriteWav(wav, Ramp(44100 / 2));
  this->OpenForRecording(wav);
  this->PlayToEnd("a WAV opened with the wave type");

  this->m_done.clear();
  const std::string missing = this->File("Sonvera.mp3");
  this->OpenForRecording(missing);
  EXPECT_THROW(this->Device().Command("play"), Error);
  this->Pass(500ms);
  EXPECT_TRUE(this->m_done.empty()) << "a play that never started raised Done";
  EXPECT_FALSE(testsupport::ScratchFolder::Exists(missing)) << "a play made a file";
}

TYPED_TEST(MediaContractTest, UnplayableFilesAreRefusedAtOnceSayingWhy) {
  this->m_folder.Write("empty.mp3", "");
  this->m_folder.Write("junk.wav", std::string(5000, 'x'));
  this->m_folder.Write("junk.mp3", "not an mp3 at all, only words");
  WriteWav(this->File("silent.wav"), {});
  const std::pair<const char*, const char*> files[] = {
      {"missing.wav", "No such file or directory"},
      {"empty.mp3", "is empty"},
      {"junk.wav", "cannot be played"},
      {"junk.mp3", "not a sound file that can be played"},
      {"silent.wav", "holds no sound"}};
  for (const auto& [name, why] : files) {
    SCOPED_TRACE(name);
    this->m_done.clear();
    this->OpenForPlay(this->File(name));
    EXPECT_EQ(this->Device().Mode(), mode::kNotOpen);
    const std::string error = testsupport::ErrorOf([this] { this->Device().Command("play"); });
    EXPECT_TRUE(testsupport::Contains(error, why)) << "the play started or said: " << error;
    EXPECT_EQ(this->Device().Mode(), mode::kNotOpen);
    this->Pass(500ms);
    EXPECT_TRUE(this->m_done.empty()) << "a play that never started raised Done";
  }
  // The device is not left broken: the next file plays.
  WriteWav(this->File("one.wav"), Ramp(44100 / 4));
  this->OpenForPlay(this->File("one.wav"));
  this->PlayToEnd("the file after those");
}

TYPED_TEST(MediaContractTest, AFileSpoiledAfterOpenIsRefusedByThePlay) {
  const std::string wav = this->File("voice.wav");
  WriteWav(wav, Ramp(44100 / 4));
  const std::string mp3 = this->File("Sonvera.mp3");
  ASSERT_TRUE(testsupport::MakeMp3(wav, mp3));
  this->OpenForPlay(mp3);
  EXPECT_EQ(this->Device().Mode(), mode::kStop);
  std::ofstream(mp3, std::ios::trunc).close();  // emptied between Open and play
  EXPECT_THROW(this->Device().Command("play"), Error);
  EXPECT_NE(this->Device().Mode(), mode::kPlay);
  this->Pass(500ms);
  EXPECT_TRUE(this->m_done.empty());
}

TYPED_TEST(MediaContractTest, NoDoneReachesADestroyedDeviceAndUnknownCommandsFail) {
  int late = 0;
  const std::string wav = this->File("one.wav");
  WriteWav(wav, Ramp(44100 * 2));
  {
    auto device = this->m_backend.Media().CreateDevice();
    device->onDone = [&late](int) { ++late; };
    device->SetFileName(wav);
    device->Command("Open");
    device->Command("play");
    this->Pass(100ms);
    EXPECT_THROW(device->Command("Rewind"), Error);
  }
  this->Pass(2500ms);
  EXPECT_EQ(late, 0) << "a Done reached a device that was gone";
}

}  // namespace
}  // namespace platform
