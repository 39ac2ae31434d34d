#pragma once
// The add-in's one registry key and its values.
#include <array>

namespace sonvera {

constexpr const char* kSettingsKey = "Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp";
constexpr const char* kValueVersion = "Version";
constexpr const char* kValueAQ = "AQ";
constexpr const char* kDefaultVersion = "1.0.1";
// The entry "2 Kbs", not the one labelled default.
constexpr const char* kDefaultAQ = "1";

// The recording quality stored in "AQ", read once by each of its users:
// 0 to 3, as the text "0" to "3" or a DWORD; anything else (missing, empty,
// out of range, not a number) reads as 1.
int AudioQuality();
constexpr int kQualityCount = 4;
constexpr int kFallbackQuality = 1;

// Whether a recording's voice is brought to a common loudness before it is
// encoded: "0" (text or DWORD) turns it off; "1", a missing value and
// anything else leave it on. The first run does not write it.
constexpr const char* kValueNormalise = "Normalise";
bool NormaliseVoice();

}  // namespace sonvera
