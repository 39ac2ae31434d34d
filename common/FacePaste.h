#pragma once
// Button faces pasted through the clipboard without losing what the user
// had there.
#include <cstdint>
#include <string>

#include "hostmodel/HostModel.h"

namespace sonvera {

// The button faces, files of the add-in folder.
constexpr const char* kProductFace = "\\Sonvera.bmp";
constexpr const char* kRecordFace = "\\RecordButton.bmp";
constexpr const char* kPauseFace = "\\PauseButton.bmp";
constexpr const char* kPlayFace = "\\PlayButton.bmp";
constexpr const char* kStopFace = "\\StopButton.bmp";
constexpr const char* kDeleteFace = "\\DeleteButton.bmp";
constexpr const char* kPropertiesFace = "\\PropertiesButton.bmp";

// 1 saves the clipboard, any other value puts the saved contents back.
void PreserveClipboard(std::int16_t& mode);

// Loads `faceFile` ("\Name.bmp") from the add-in folder onto the clipboard.
void PutFaceOnClipboard(const std::string& faceFile);

// Loads `faceFile` from the add-in folder, puts it on the clipboard and
// pastes it on `button`, the clipboard saved around it. Statement by
// statement through `run`, so that a failure can be reported and the paste
// go on with whatever the clipboard holds.
template <typename Run>
void PasteFaceFrom(hostmodel::CommandBarButton& button, const std::string& faceFile, Run&& run) {
  std::int16_t mode = 1;
  PreserveClipboard(mode);
  run([&] { PutFaceOnClipboard(faceFile); });
  run([&] { button.PasteFace(); });
  mode = 2;
  PreserveClipboard(mode);
}

}  // namespace sonvera
