#pragma once
// The add-in's one registry key and its values.
namespace sonvera {

constexpr const char* kSettingsKey = "Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp";
constexpr const char* kValueVersion = "Version";
constexpr const char* kValueAQ = "AQ";
constexpr const char* kDefaultVersion = "1.0.1";
// The entry "2 Kbs", not the one labelled default.
constexpr const char* kDefaultAQ = "1";

}  // namespace sonvera
