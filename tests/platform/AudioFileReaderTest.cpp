// Reading sound files for playback: what the player learns of an MP3 (its
// length decides when a fake play ends), and the build's recording target.
#include <gtest/gtest.h>
#include <sndfile.h>

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

// A WAV read exactly is AlsaMediaTest's; files that hold no sound refused,
// saying why, MediaContractTest's and the voice_empty_mp3 scenario's.
TEST(AudioFileReaderTest, TheBuildLaysOutTheRecordingTargetAs16BitMonoAt44100) {
  SF_INFO info{};
  SNDFILE* file = sf_open(SONVERA_TEST_ADDIN_DIR "/R.wav", SFM_READ, &info);
  ASSERT_NE(file, nullptr) << "the add-in folder has no readable R.wav";
  sf_close(file);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(info.channels, 1);
  EXPECT_EQ(info.samplerate, 44100);
  EXPECT_GT(info.frames, 0);
}

}  // namespace
}  // namespace platform
