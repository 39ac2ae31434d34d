// Whole runs of mailhost where the disk runs out under a recording, where
// the encoder dies part way, and where a quiet voice is brought up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "tests/support/MailhostRun.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SoundFiles.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ScratchFolder;

std::uintmax_t FolderBytes(const fs::path& folder) {
  std::uintmax_t bytes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file() && !entry.is_symlink()) bytes += entry.file_size();
  return bytes;
}

TEST(VoiceRunTest, ADiskThatFillsDuringARecordingGivesABoxAndNoCrash) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small disk needs root";
  ScratchFolder scratch;
  const std::string data = scratch.File("data");
  fs::create_directory(data);
  // Room for the add-in folder's copy and the registry, and a little more:
  // two minutes of recording at 44,100 Hz cannot fit.
  const auto size = FolderBytes(SONVERA_TEST_ADDIN_DIR) + 1024 * 1024;
  std::ofstream(scratch.File("full.scn")) << "answer No No No\n"
                                             "start\n"
                                             "new w1\n"
                                             "activate w1\n"
                                             "click w1 Record\n"
                                             "wait 2m\n"
                                             "click w1 Stop\n"
                                             "wait 500ms\n"
                                             "show w1\n"
                                             "show-mail w1\n";
  // In a mount namespace of its own, so the small disk goes with the run.
  const std::string wrapper = "unshare -m sh -c 'mount -t tmpfs -o size=" + std::to_string(size) +
                              " tmpfs " + data + " && exec \"$0\" \"$@\"'";
  const auto run =
      testsupport::RunMailhost("--script " + scratch.File("full.scn") + " --data " + data, wrapper);
  ASSERT_NE(run.status, -1) << run.err;
  EXPECT_LE(run.status, 1) << run.out << run.err;
  EXPECT_NE(run.out.find("box \"Sonvera Outlook Addin Error\""), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("| Record Failure\n| The recording could not be written completely to "
                         "disk: No space left on device."),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("bar w1: [Sonvera:Sonvera] [Record:RecordButton]"), std::string::npos)
      << run.out;
}

// The add-in folder of a run is a copy of the folder its library is in: a
// folder of the test's own, with an encoder that writes part of an MP3 and
// is killed, is what the run gets.
TEST(VoiceRunTest, AnEncoderKilledPartWayIsReportedAndNothingIsLost) {
  ScratchFolder scratch;
  const auto library =
      testsupport::AddinWithEncoder(scratch.File("Sonvera"),
                                    "#!/bin/sh\nfor mp3; do :; done\n"
                                    "printf 'ID3\\003\\000\\000\\000\\000\\000\\000' > \"$mp3\"\n"
                                    "head -c 3000 /dev/zero >> \"$mp3\"\n"
                                    "kill -9 $$\n");
  std::ofstream(scratch.File("killed.scn")) << "registry set Software\\Microsoft\\Office\\Outlook"
                                               "\\Addins\\Sonvera.Amp AQ sz 1\n"
                                               "start\n"
                                               "new w1\n"
                                               "activate w1\n"
                                               "click w1 Record\n"
                                               "wait 10s\n"
                                               "click w1 Stop\n"
                                               "answer No\n"
                                               "wait 500ms\n"
                                               "show w1\n"
                                               "show-mail w1\n";
  const std::string data = scratch.File("data");
  const auto run = testsupport::RunMailhost("--script " + scratch.File("killed.scn") + " --data " +
                                            data + " --addin " + library);
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const auto box = run.out.find(
      "box \"Sonvera Outlook Addin Error\" YesNo -> No\n"
      "| Insp SaveWaveFile\n"
      "| $DATA/addin/Sonvera.mp3\n"
      "| Error adding attachment to message.\n"
      "| The encoder was ended by signal 9 (Killed).\n");
  EXPECT_NE(box, std::string::npos) << run.out;
  EXPECT_NE(run.out.find("mail w1: attachments() body=\"\""), std::string::npos) << run.out;
  EXPECT_FALSE(fs::exists(data + "/addin/Sonvera.mp3")) << "the partial MP3 stayed";
  // Ten seconds of speech are still there for another try.
  const auto kept = testsupport::ReadWav(data + "/addin/Temp.wav");
  ASSERT_GT(kept.rate, 0) << "no recording was kept";
  EXPECT_EQ(kept.Frames() / kept.rate, 10);
}

TEST(VoiceRunTest, AQuietVoiceArrivesAtTheLoudnessOfTheOthers) {
  ScratchFolder scratch;
  // A tone in syllables, four a second.
  const auto quiet = testsupport::Signal(22050, 3, [](double t) {
    return 0.1 * std::sin(2 * M_PI * 300 * t) * (0.5 - 0.5 * std::cos(2 * M_PI * 4 * t));
  });
  testsupport::WriteWav(scratch.File("quiet.wav"), quiet, 22050);
  std::ofstream(scratch.File("quiet.scn")) << "registry set Software\\Microsoft\\Office\\Outlook"
                                              "\\Addins\\Sonvera.Amp AQ sz 1\n"
                                              "mic quiet.wav\n"
                                              "start\n"
                                              "new w1\n"
                                              "activate w1\n"
                                              "click w1 Record\n"
                                              "wait 20s\n"
                                              "click w1 Stop\n"
                                              "wait 500ms\n"
                                              "show-mail w1\n";
  const std::string data = scratch.File("data");
  const auto run =
      testsupport::RunMailhost("--script " + scratch.File("quiet.scn") + " --data " + data);
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  ASSERT_NE(run.out.find("mail w1: attachments(Sonvera.mp3 "), std::string::npos) << run.out;
  EXPECT_LT(testsupport::MeasureLevel(scratch.File("quiet.wav")).lufs, -26);
  // The attached file, decoded.
  const auto voice = testsupport::MeasureLevel(data + "/addin/Sonvera.mp3");
  EXPECT_NEAR(voice.lufs, -16, 1);
  EXPECT_LT(voice.truePeakDbtp, 0);
}

}  // namespace
