// The version file's parts; which versions are offered, and that a line
// break or blanks around the file's text are no part of it, are
// UpdateEndToEndTest's.
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

}  // namespace
}  // namespace sonvera
