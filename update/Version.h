#pragma once
// Version numbers as the product web server publishes them: "major.minor.revision",
// each part a 16-bit signed integer.
#include <compare>
#include <cstdint>
#include <string>

namespace sonvera {

struct Version {
  std::int16_t major = 0;
  std::int16_t minor = 0;
  std::int16_t revision = 0;
  // Lexicographic: major, then minor, then revision.
  auto operator<=>(const Version&) const = default;
};

// What the original run time said for each way the text can be wrong; the
// user reads them in the update warning.
constexpr const char* kVersionNoDots = "Invalid procedure call or argument";
constexpr const char* kVersionNotNumber = "Type mismatch";
constexpr const char* kVersionOverflow = "Overflow";

// Splits at the first dot and the first dot after it; white space around
// each part is allowed (a version file usually ends in a line break).
// Throws platform::Error with one of the texts above.
Version ParseVersion(const std::string& text);

// The text without leading and trailing white space.
std::string TrimmedVersionText(const std::string& text);

// The add-in's own version, stamped by the build.
Version RunningVersion();
std::string VersionText(const Version& version);

}  // namespace sonvera
