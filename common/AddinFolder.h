#pragma once
// The add-in folder: the folder of the add-in's own library, which holds the
// faces, the samples, the working sound files and the encoder.
#include <string>

namespace sonvera {

// Without a trailing separator.
std::string AddinFolder();

// `folder` joined with a file name written with a leading "\"
// ("\Sonvera.bmp"), with the platform's separator.
std::string FileIn(const std::string& folder, const std::string& backslashName);

// FileIn(AddinFolder(), backslashName).
std::string AddinFile(const std::string& backslashName);

// The working sound files, each written by one step and read by the next:
// the recording in progress, the saved recording the encoder reads, and the
// encoder's output, which is also where a voice attachment is saved to play.
constexpr const char* kRecordingFile = "\\R.wav";
constexpr const char* kSavedRecordingFile = "\\Temp.wav";
constexpr const char* kVoiceFile = "\\Sonvera.mp3";

}  // namespace sonvera
