#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

#include "audio/Encoding.h"
#include "inspector/Insp.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxFiles.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SoundFiles.h"

namespace {

using namespace sonvera;
using testsupport::ScratchFolder;

TEST(EncoderCommandLineTest, KeepsTheBlanksOfTheLineAndQuotesOnlyAnEncoderPathWithBlanks) {
  // The plain line, blanks and all, is what the voice_* scenarios print.
  const std::string line = EncoderCommandLine("/my addin", RateText(1), "/tmp/s1");
  EXPECT_EQ(line.rfind("\"/my addin/lame\" -s 11025 ", 0), 0u) << line;
  // Split the way the process service splits it, the encoder stays one word
  // and a folder name can never become a second command.
  const auto argv = platform::SplitCommandLine(line);
  ASSERT_EQ(argv.size(), 11u);
  EXPECT_EQ(argv[0], "/my addin/lame");
  EXPECT_EQ(argv[9], "/tmp/s1/Temp.wav");
  EXPECT_EQ(argv[10], "/tmp/s1/Sonvera.mp3");
  EXPECT_EQ(RateText(3), "44100") << "the other rates are the scenarios' encoder lines";
}

TEST(ConvertRateTest, BringsTheRecordingToTheEncodersRateAndLeavesAMatchingOneAlone) {
  ScratchFolder folder;
  const auto wav = folder.File("Temp.wav");
  testsupport::WriteWav(wav, testsupport::Tone(44100, 2, 0.25));
  ConvertRate(wav, 11025);
  const auto converted = testsupport::ReadWav(wav);
  EXPECT_EQ(converted.rate, 11025);
  EXPECT_EQ(converted.channels, 1);
  EXPECT_NEAR(static_cast<double>(converted.Frames()), 2.0 * 11025, 200);
  EXPECT_FALSE(ScratchFolder::Exists(wav + ".rate"));

  struct stat before {};
  stat(wav.c_str(), &before);
  ConvertRate(wav, 11025);
  struct stat after {};
  stat(wav.c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino) << "a file at the right rate is not rewritten";

  // Junk is left for the encoder to refuse, not turned into a silent file.
  folder.Write("junk.wav", "not a wave file at all, just text for the test");
  ConvertRate(folder.File("junk.wav"), 8000);
  EXPECT_EQ(ScratchFolder::Read(folder.File("junk.wav")),
            "not a wave file at all, just text for the test");
}

class ShellAndWaitTest : public ::testing::Test {
 protected:
  void SetUp() override { platform.Reinstall(); }
  void TearDown() override { SecondsSinceMidnight = saved; }
  testsupport::FakePlatform platform;
  std::function<long()> saved = SecondsSinceMidnight;
};

TEST_F(ShellAndWaitTest, ATimeOutAcrossMidnightWaitsForTheNewDay) {
  // The program never ends; only the clock can stop the wait.
  platform.processes.SetRun(1'000'000, 0);
  std::vector<long> clock = {86'395, 86'399, 86'399, 3, 5, 6};
  size_t next = 0;
  SecondsSinceMidnight = [&] { return clock[std::min(next++, clock.size() - 1)]; };
  auto insp = std::make_shared<Insp>();
  EXPECT_TRUE(insp->ShellandWait("/bin/encoder", 10));
  // 86,395 + 10 wraps to 5: 3 and 5 are not past it, 6 is.
  EXPECT_EQ(next, clock.size());
}

TEST(ShortPathTest, APathWithBlanksGetsABlankFreeAliasOfTheSameFolder) {
  ScratchFolder folder;
  const std::string spaced = folder.File("add in folder");
  mkdir(spaced.c_str(), 0700);
  folder.Write("add in folder/probe.txt", "here");
  platform::LinuxFiles files;
  const auto alias = files.ShortPath(spaced);
  ASSERT_TRUE(alias);
  EXPECT_EQ(alias->find(' '), std::string::npos) << *alias;
  EXPECT_EQ(ScratchFolder::Read(*alias + "/probe.txt"), "here");
  EXPECT_EQ(files.ShortPath(spaced), alias) << "the same alias each time";
  EXPECT_EQ(files.ShortPath(folder.Path()), folder.Path());
}

}  // namespace
