// Where the listener stopped: kept across a new start, a damaged file read
// as none, the list bounded, a failed write said.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "host/web/VoicePositions.h"
#include "platform/Error.h"
#include "tests/support/ScratchFolder.h"

namespace mailhost {
namespace {

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
