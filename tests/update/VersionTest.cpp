#include <gtest/gtest.h>

#include "platform/Error.h"
#include "update/Version.h"

namespace sonvera {
namespace {

std::string ParseError(const std::string& text) {
  try {
    ParseVersion(text);
  } catch (const platform::Error& e) {
    return e.Description();
  }
  return "(parsed)";
}

TEST(VersionTest, ParsesThreeNumbersWithBlanksAroundEach) {
  EXPECT_EQ(ParseVersion("1.0.28"), (Version{1, 0, 28}));
  EXPECT_EQ(ParseVersion("1.0.28\r\n"), (Version{1, 0, 28}));
  EXPECT_EQ(ParseVersion(" 2 .\t3 . 4 "), (Version{2, 3, 4}));
  EXPECT_EQ(ParseVersion("32767.-32768.+7"), (Version{32767, -32768, 7}));
  EXPECT_EQ(ParseVersion("007.0.0"), (Version{7, 0, 0}));
}

TEST(VersionTest, EachWrongShapeHasItsError) {
  for (const char* text : {"1.0", "1", "", "NA", "1,0,28"})
    EXPECT_EQ(ParseError(text), kVersionNoDots) << text;
  for (const char* text : {"a.b.c", "1..2", "1.0.", ".1.2", "1.0.28.5", "1.0.2 8", "1.0.28x",
                           "1.0.-", "1.0.0x1C", "<html><title>404 Not Found.</title>.</html>"})
    EXPECT_EQ(ParseError(text), kVersionNotNumber) << text;
  for (const char* text : {"1.0.32768", "1.0.-32769", "99999999999999999999999.0.0", "1.65535.0"})
    EXPECT_EQ(ParseError(text), kVersionOverflow) << text;
  // The first bad part decides, as the parts convert in order.
  EXPECT_EQ(ParseError("40000.x.0"), kVersionOverflow);
  EXPECT_EQ(ParseError("x.40000.0"), kVersionNotNumber);
  EXPECT_EQ(ParseError("1.0.99999x"), kVersionNotNumber);
}

// 1.0.28, 1.1.0 and 2.0.0 offered, 1.0.27 and 0.9.99 not: the end-to-end
// suite's version files.
TEST(VersionTest, NewerIsLexicographicAgainstTheRunningVersion) {
  const Version running = RunningVersion();
  EXPECT_EQ(VersionText(running), "1.0.27");
  EXPECT_GT(ParseVersion("1.0.28"), running);
  EXPECT_FALSE(ParseVersion("1.0.26") > running);
  EXPECT_FALSE(ParseVersion("-1.50.50") > running);
}

TEST(VersionTest, TrimmingTakesOnlyOuterBlanks) {
  EXPECT_EQ(TrimmedVersionText(" \t1.0.28\r\n"), "1.0.28");
  EXPECT_EQ(TrimmedVersionText("NA\n"), "NA");
  EXPECT_EQ(TrimmedVersionText("\r\n"), "");
  EXPECT_EQ(TrimmedVersionText("1. 0"), "1. 0");
}

}  // namespace
}  // namespace sonvera
