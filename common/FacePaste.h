#pragma once
// Button faces pasted through the clipboard without losing what the user
// had there.
#include <cstdint>
#include <string>

#include "hostmodel/HostModel.h"

namespace sonvera {

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
