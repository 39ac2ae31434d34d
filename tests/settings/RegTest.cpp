#include "settings/Reg.h"

#include <gtest/gtest.h>

#include "settings/FirstRun.h"
#include "settings/Settings.h"
#include "tests/support/FakePlatform.h"

namespace sonvera {
namespace {

using platform::kHkeyCurrentUser;
constexpr const char* kKey = "Software\\Test\\Reg";

void PutRaw(platform::Registry& reg, const std::string& name, std::uint32_t type,
            const std::vector<std::uint8_t>& bytes) {
  platform::HKey key = 0;
  ASSERT_EQ(reg.CreateKey(kHkeyCurrentUser, kKey, &key), 0);
  ASSERT_EQ(reg.SetValue(key, name, type, bytes.data(), static_cast<std::uint32_t>(bytes.size())), 0);
  reg.CloseKey(key);
}

std::uint32_t TypeOf(platform::Registry& reg, const std::string& name) {
  platform::HKey key = 0;
  reg.OpenKey(kHkeyCurrentUser, kKey, &key);
  std::uint32_t type = 0, size = 0;
  reg.QueryValue(key, name, &type, nullptr, &size);
  reg.CloseKey(key);
  return type;
}

TEST(RegTest, ReadsStringsDwordsAndNothingElse) {
  testsupport::FakePlatform fake;
  PutRaw(fake.registry, "nul", platform::kRegSz, {'a', 'b', 0});
  PutRaw(fake.registry, "unterminated", platform::kRegSz, {'a', 'b', 'c'});
  PutRaw(fake.registry, "embedded", platform::kRegSz, {'a', 0, 'b', 0});
  PutRaw(fake.registry, "empty", platform::kRegSz, {});
  PutRaw(fake.registry, "dword", platform::kRegDword, {0xfe, 0xff, 0xff, 0xff});
  PutRaw(fake.registry, "binary", platform::kRegBinary, {1, 2, 3});

  auto get = [](const char* name) { return GetRegValue(kHkeyCurrentUser, kKey, name); };
  EXPECT_EQ(get("nul"), RegData(std::string("ab")));
  EXPECT_EQ(get("unterminated"), RegData(std::string("abc")));
  EXPECT_EQ(get("embedded"), RegData(std::string("a")));
  EXPECT_EQ(get("empty"), RegData(std::string("")));
  EXPECT_EQ(get("dword"), RegData(std::int32_t{-2})) << "a DWORD reads as a signed integer";
  EXPECT_EQ(get("binary"), RegData(std::string("")));
  EXPECT_EQ(get("missing"), RegData(std::string("")));
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, "Software\\No\\Such", "x"), RegData(std::string("")));
  EXPECT_NE(LastRegResult, 0) << "the failed open is recorded";
}

TEST(RegTest, WritesNumbersAsDwordsUnlessForcedToText) {
  testsupport::FakePlatform fake;
  SetRegValue(kHkeyCurrentUser, kKey, "a", std::string("1"), false);
  EXPECT_EQ(TypeOf(fake.registry, "a"), platform::kRegDword);
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kKey, "a"), RegData(std::int32_t{1}));

  SetRegValue(kHkeyCurrentUser, kKey, "b", std::string("1"), true);
  EXPECT_EQ(TypeOf(fake.registry, "b"), platform::kRegSz);
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kKey, "b"), RegData(std::string("1")));

  SetRegValue(kHkeyCurrentUser, kKey, "c", std::string("1.0.1"), false);
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kKey, "c"), RegData(std::string("1.0.1")));

  SetRegValue(kHkeyCurrentUser, kKey, "d", std::string("  7 "), true);
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kKey, "d"), RegData(std::string("7")));

  SetRegValue(kHkeyCurrentUser, kKey, "e", 2.5, false);  // rounds half to even
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kKey, "e"), RegData(std::int32_t{2}));
  SetRegValue(kHkeyCurrentUser, kKey, "f", std::string("&H10"), false);
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kKey, "f"), RegData(std::int32_t{16}));

  EXPECT_THROW(SetRegValue(kHkeyCurrentUser, kKey, "g", std::int64_t{1} << 40, false),
               platform::Error);

  // The stored string carries exactly one NUL.
  platform::HKey key = 0;
  fake.registry.OpenKey(kHkeyCurrentUser, kKey, &key);
  std::uint32_t type = 0, size = 0;
  fake.registry.QueryValue(key, "d", &type, nullptr, &size);
  EXPECT_EQ(size, 2u);
  fake.registry.CloseKey(key);
}

TEST(RegTest, NumericTextIsRecognisedAsTheRunTimeDoes) {
  for (const char* yes : {"1", " -2 ", "+3.5", "1e3", ".5", "&HFF", "&o17"}) {
    EXPECT_TRUE(IsNumericText(yes)) << yes;
  }
  for (const char* no : {"", " ", "1.0.1", "abc", "1e", "-", "&H", "&HG", "2 Kbs"}) {
    EXPECT_FALSE(IsNumericText(no)) << no;
  }
}

TEST(FirstRunTest, FirstStartWritesDefaultsAndOffersTheTutorial) {
  testsupport::FakePlatform fake;
  fake.boxes.Queue(platform::Answer::Yes);
  EXPECT_TRUE(CheckFirstRun());
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kSettingsKey, "Version"), RegData(std::string("1.0.1")));
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kSettingsKey, "AQ"), RegData(std::string("1")));
  ASSERT_EQ(fake.boxes.Shown().size(), 1u);
  const auto& box = fake.boxes.Shown()[0].request;
  EXPECT_EQ(box.text, kTutorialQuestion);
  EXPECT_EQ(box.title, std::optional<std::string>("Sonvera Tutorial"));
  EXPECT_EQ(box.icon, platform::Icon::Question);
  ASSERT_EQ(fake.shell.opened.size(), 1u);
  EXPECT_EQ(fake.shell.opened[0].rfind("http://", 0), 0u);
  EXPECT_NE(fake.shell.opened[0].find("\\tutorial"), std::string::npos);

  // Second start: nothing asked.
  EXPECT_TRUE(CheckFirstRun());
  EXPECT_EQ(fake.boxes.Shown().size(), 1u);
}

TEST(FirstRunTest, EmptyAQIsAFirstRunAndDwordAQIsNot) {
  testsupport::FakePlatform fake;
  SetRegValue(kHkeyCurrentUser, kSettingsKey, "AQ", std::string(""), true);
  fake.boxes.Queue(platform::Answer::No);
  EXPECT_TRUE(CheckFirstRun());
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kSettingsKey, "AQ"), RegData(std::string("1")));
  EXPECT_TRUE(fake.shell.opened.empty()) << "No opens nothing";

  SetRegValue(kHkeyCurrentUser, kSettingsKey, "AQ", std::int64_t{2}, false);
  EXPECT_TRUE(CheckFirstRun());
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kSettingsKey, "AQ"), RegData(std::int32_t{2}));
  EXPECT_EQ(fake.boxes.Shown().size(), 1u);
}

TEST(FirstRunTest, AnUnansweredOfferDoesNotStopTheStart) {
  testsupport::FakePlatform fake;
  EXPECT_TRUE(CheckFirstRun());
  EXPECT_EQ(fake.boxes.TakeUnanswered(), 1);
  EXPECT_EQ(GetRegValue(kHkeyCurrentUser, kSettingsKey, "AQ"), RegData(std::string("1")));
}

}  // namespace
}  // namespace sonvera
