// The player's caches: a waveform read once and then taken from disk, a
// damaged one read again, lengths kept for the next start; and where the
// listener stopped, kept across a new start, a damaged file read as none,
// the list bounded, a failed write said.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "host/web/VoicePositions.h"
#include "host/web/VoiceShelf.h"
#include "platform/Error.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SoundFiles.h"

namespace mailhost {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

TEST(VoiceShelfTest, KeysAreTheBytesSha256AndOnlySuchTextIsAKey) {
  EXPECT_EQ(VoiceShelf::KeyOf(Bytes("abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_TRUE(VoiceShelf::IsKey(VoiceShelf::KeyOf({})));
  EXPECT_FALSE(VoiceShelf::IsKey("../../etc/passwd"));
  EXPECT_FALSE(VoiceShelf::IsKey(std::string(64, 'A')));
  EXPECT_TRUE(IsVoiceName("Sonvera.MP3"));
  EXPECT_FALSE(IsVoiceName("notes.txt"));
}

TEST(VoiceShelfTest, AWaveformIsReadOnceAndADamagedCacheReadAgain) {
  testsupport::ScratchFolder folder;
  testsupport::WriteWav(folder.File("voice.wav"), testsupport::Ramp(11025), 11025);
  if (!testsupport::MakeMp3(folder.File("voice.wav"), folder.File("voice.mp3")))
    GTEST_SKIP() << "no MP3 encoder on this machine";
  const auto mp3 = Bytes(testsupport::ScratchFolder::Read(folder.File("voice.mp3")));
  const std::string key = VoiceShelf::KeyOf(mp3);
  VoiceShelf shelf(folder.File("voice"));
  const auto read = shelf.Waveform(key, mp3, "voice.mp3");
  EXPECT_NEAR(read["durationMs"].get<double>(), 1100.0, 105.0);  // with the encoder's delay
  EXPECT_EQ(read["peaks"].size(), VoiceShelf::kPeaks);
  // Cached under its key: the bytes are not read again.
  EXPECT_EQ(shelf.Waveform(key, Bytes("no sound"), "voice.mp3"), read);

  folder.Write("voice/" + key + ".json", "{\"durationMs\": ");
  EXPECT_THROW(shelf.Waveform(key, Bytes("no sound"), "voice.mp3"), platform::Error)
      << "a damaged cache was taken for a waveform";
  EXPECT_EQ(shelf.Waveform(key, mp3, "voice.mp3"), read);
}

TEST(VoiceShelfTest, LengthsAreKeptForTheNextStartAndADamagedFileIsNone) {
  testsupport::ScratchFolder folder;
  {
    VoiceShelf shelf(folder.File("voice"));
    EXPECT_FALSE(shelf.LengthMs("mail", 1));
    shelf.SetLengthMs("mail", 1, 1500);
    shelf.SetLengthMs("mail", 2, 2500);  // written at the end, not at once
  }
  VoiceShelf again(folder.File("voice"));
  EXPECT_EQ(again.LengthMs("mail", 1), 1500);
  EXPECT_EQ(again.LengthMs("mail", 2), 2500);
  EXPECT_FALSE(again.LengthMs("other", 1));

  folder.Write("voice/lengths.json", "{\"mail\\n1\": \"long\"");
  EXPECT_FALSE(VoiceShelf(folder.File("voice")).LengthMs("mail", 1));
}

TEST(VoicePositionsTest, APositionSurvivesANewStartAndNonsenseIsKeptAsTheStart) {
  testsupport::ScratchFolder folder;
  const std::string file = folder.File("voice-positions.json");
  {
    VoicePositions positions(file);
    EXPECT_EQ(positions.At("a"), 0);
    positions.Set("a", 12.5);
    positions.Set("b", 3);
    positions.Set("b", 4.25);
    positions.Set("nan", std::nan(""));
    positions.Set("negative", -3);
  }
  VoicePositions again(file);
  EXPECT_EQ(again.At("a"), 12.5);
  EXPECT_EQ(again.At("b"), 4.25);
  EXPECT_EQ(again.At("nan"), 0);
  EXPECT_EQ(again.At("negative"), 0);
}

TEST(VoicePositionsTest, ADamagedFileReadsAsNoPositionsAndIsReplacedWhole) {
  for (const std::string& damaged :
       {std::string("{\"a\": {\"at\": 12"), std::string("[1, 2]"), std::string("\x01\x02garbage"),
        std::string("{\"a\": {\"at\": \"twelve\", \"order\": 1}, \"b\": 7}")}) {
    testsupport::ScratchFolder folder;
    folder.Write("voice-positions.json", damaged);
    VoicePositions positions(folder.File("voice-positions.json"));
    EXPECT_EQ(positions.At("a"), 0) << damaged;
    positions.Set("c", 1.5);
    EXPECT_EQ(VoicePositions(folder.File("voice-positions.json")).At("c"), 1.5) << damaged;
  }
}

TEST(VoicePositionsTest, TheLeastRecentlyPlayedIsForgottenFirst) {
  testsupport::ScratchFolder folder;
  VoicePositions positions(folder.File("voice-positions.json"), 3);
  positions.Set("first", 1);
  positions.Set("second", 2);
  positions.Set("first", 3);  // played again: now the most recent
  positions.Set("0", 5);
  positions.Set("1", 5);
  VoicePositions again(folder.File("voice-positions.json"), 3);
  EXPECT_EQ(again.At("second"), 0) << "the oldest is gone";
  EXPECT_EQ(again.At("first"), 3);
  EXPECT_EQ(again.At("0"), 5);
}

TEST(VoicePositionsTest, AFailedWriteIsSaid) {
  testsupport::ScratchFolder folder;
  VoicePositions positions(folder.File("gone/voice-positions.json"));
  EXPECT_THROW(positions.Set("a", 1), platform::Error);
}

}  // namespace
}  // namespace mailhost
