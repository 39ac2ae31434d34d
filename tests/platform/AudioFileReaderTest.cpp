// Reading sound files for playback: what the player learns of an MP3 (its
// length decides when a fake play ends). A WAV read exactly is AlsaMediaTest's;
// files that hold no sound, MediaContractTest's; the build's recording target
// sets the format of every recording whose MP3 the voice_* scenarios weigh.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/common/AudioFileReader.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SoundFiles.h"

namespace platform {
namespace {

std::vector<short> ReadAll(AudioFileReader& reader, long long chunk) {
  std::vector<short> all;
  std::vector<short> buffer(static_cast<size_t>(chunk) * reader.Format().channels);
  for (long long got; (got = reader.Read(buffer.data(), chunk)) > 0;)
    all.insert(all.end(), buffer.begin(), buffer.begin() + got * reader.Format().channels);
  return all;
}

TEST(AudioFileReaderTest, AnMp3DecodesToItsLengthAndACutOneToTheCut) {
  testsupport::ScratchFolder folder;
  testsupport::WriteWav(folder.File("voice.wav"), testsupport::Ramp(44100 * 2));
  ASSERT_TRUE(testsupport::MakeMp3(folder.File("voice.wav"), folder.File("voice.mp3")));
  AudioFileReader whole(folder.File("voice.mp3"));
  EXPECT_EQ(whole.Format().rate, 44100u);
  EXPECT_NEAR(static_cast<double>(whole.Format().DurationMs()), 2000.0, 60.0);
  const auto decoded = ReadAll(whole, 4096);
  EXPECT_EQ(static_cast<long long>(decoded.size()),
            whole.Format().frames * whole.Format().channels);

  const std::string bytes = testsupport::ScratchFolder::Read(folder.File("voice.mp3"));
  std::ofstream(folder.File("cut.mp3"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  AudioFileReader cut(folder.File("cut.mp3"));
  EXPECT_NEAR(static_cast<double>(cut.Format().DurationMs()), 1000.0, 150.0);
  EXPECT_FALSE(ReadAll(cut, 4096).empty());
}

}  // namespace
}  // namespace platform
