#include <gtest/gtest.h>

#include "common/ProductServer.h"
#include "settings/FirstRun.h"
#include "settings/Reg.h"
#include "settings/Settings.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/RegistryCalls.h"

namespace sonvera {
namespace {

using platform::kHkeyCurrentUser;
using testsupport::GetValue;
using testsupport::PutValue;
constexpr const char* kKey = "Software\\Test\\Reg";

TEST(RegTest, ReadsStringsDwordsAndNothingElse) {
  testsupport::FakePlatform fake;
  PutValue(fake.registry, kKey, "nul", platform::kRegSz, {'a', 'b', 0});
  PutValue(fake.registry, kKey, "unterminated", platform::kRegSz, {'a', 'b', 'c'});
  PutValue(fake.registry, kKey, "embedded", platform::kRegSz, {'a', 0, 'b', 0});
  PutValue(fake.registry, kKey, "dword", platform::kRegDword, {0xfe, 0xff, 0xff, 0xff});
  PutValue(fake.registry, kKey, "binary", platform::kRegBinary, {1, 2, 3});

  auto get = [](const char* name) { return GetRegValue(kHkeyCurrentUser, kKey, name); };
  EXPECT_EQ(get("nul"), RegData(std::string("ab")));
  EXPECT_EQ(get("unterminated"), RegData(std::string("abc")));
  EXPECT_EQ(get("embedded"), RegData(std::string("a")));
  EXPECT_EQ(get("dword"), RegData(std::int32_t{-2})) << "a DWORD reads as a signed integer";
  EXPECT_EQ(get("binary"), RegData(std::string("")));
  EXPECT_EQ(get("missing"), RegData(std::string("")));
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, "Software\\No\\Such", "x"), RegData(std::string("")));
  EXPECT_NE(LastRegResult, 0) << "the failed open is recorded";
}

TEST(RegTest, WritesNumbersAsDwordsUnlessForcedToText) {
  testsupport::FakePlatform fake;
  SetRegValue(kHkeyCurrentUser, kKey, "a", std::string("1"), false);
  EXPECT_EQ(GetValue(fake.registry, kKey, "a").value().type, platform::kRegDword);
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kKey, "a"), RegData(std::int32_t{1}));

  SetRegValue(kHkeyCurrentUser, kKey, "b", std::string("1"), true);
  EXPECT_EQ(GetValue(fake.registry, kKey, "b").value().type, platform::kRegSz);
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kKey, "b"), RegData(std::string("1")));

  SetRegValue(kHkeyCurrentUser, kKey, "d", std::string("  7 "), true);
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kKey, "d"), RegData(std::string("7")));

  SetRegValue(kHkeyCurrentUser, kKey, "e", 2.5, false);  // rounds half to even
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kKey, "e"), RegData(std::int32_t{2}));
  SetRegValue(kHkeyCurrentUser, kKey, "f", std::string("&H10"), false);
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kKey, "f"), RegData(std::int32_t{16}));

  EXPECT_THROW(SetRegValue(kHkeyCurrentUser, kKey, "g", std::int64_t{1} << 40, false),
               platform::Error);

  EXPECT_EQ(GetValue(fake.registry, kKey, "d").value().data.size(), 2u)
      << "the stored string carries exactly one NUL";
}

TEST(RegTest, NumericTextIsRecognisedAsTheRunTimeDoes) {
  for (const char* yes : {"1", " -2 ", "+3.5", "1e3", ".5", "&HFF", "&o17"}) {
    EXPECT_TRUE(IsNumericText(yes)) << yes;
  }
  for (const char* no : {"", " ", "1.0.1", "abc", "1e", "-", "&H", "&HG", "2 Kbs"}) {
    EXPECT_FALSE(IsNumericText(no)) << no;
  }
}

TEST(AudioQualityTest, OnlyZeroToThreeAsTextOrDwordCountAnythingElseIsOne) {
  testsupport::FakePlatform fake;
  auto read = [&](std::uint32_t type, const testsupport::Bytes& data) {
    PutValue(fake.registry, kSettingsKey, kValueAQ, type, data);
    return AudioQuality();
  };
  EXPECT_EQ(AudioQuality(), 1) << "missing";
  EXPECT_EQ(read(platform::kRegSz, {'0', 0}), 0);
  EXPECT_EQ(read(platform::kRegSz, {' ', '2', ' ', 0}), 2) << "blanks around the digit";
  EXPECT_EQ(read(platform::kRegDword, {2, 0, 0, 0}), 2);
  for (const auto& bad : std::vector<testsupport::Bytes>{
           {0}, {'4', 0}, {'1', '0', 0}, {'-', '1', 0}, {'x', 0}, {'2', '.', '5', 0}}) {
    EXPECT_EQ(read(platform::kRegSz, bad), 1)
        << std::string(bad.begin(), bad.end() - 1) << " must read as 1";
  }
  EXPECT_EQ(read(platform::kRegDword, {0xff, 0xff, 0xff, 0xff}), 1);
  EXPECT_EQ(read(platform::kRegBinary, {2}), 1);
}

TEST(NormaliseVoiceTest, OnlyZeroTurnsItOff) {
  testsupport::FakePlatform fake;
  auto read = [&](std::uint32_t type, const testsupport::Bytes& data) {
    PutValue(fake.registry, kSettingsKey, kValueNormalise, type, data);
    return NormaliseVoice();
  };
  EXPECT_TRUE(NormaliseVoice()) << "missing";
  EXPECT_FALSE(read(platform::kRegSz, {' ', '0', 0}));
  EXPECT_FALSE(read(platform::kRegDword, {0, 0, 0, 0}));
  EXPECT_TRUE(read(platform::kRegSz, {'o', 'f', 'f', 0})) << "not a documented value";
  EXPECT_TRUE(read(platform::kRegSz, {'1', 0}));
}

// What a first start writes and asks, and the kinds of AQ that count as set,
// are the startup_* and settings_aq_* scenarios; a scenario cannot leave a
// box unanswered; that a restart on the same data offers nothing again is
// the page's browser test's.
TEST(FirstRunTest, AnUnansweredOfferDoesNotStopTheStart) {
  testsupport::FakePlatform fake;
  EXPECT_TRUE(CheckFirstRun(ProductServer{}));
  EXPECT_EQ(fake.boxes.TakeUnanswered(), 1);
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kSettingsKey, "AQ"), RegData(std::string("1")));
}

}  // namespace
}  // namespace sonvera
