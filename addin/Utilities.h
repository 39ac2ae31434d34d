#pragma once
// Shared routines: the add-in folder, short paths, and button faces pasted
// through the clipboard without losing what the user had there.
#include <cstdint>
#include <string>

#include "addin/HostModel.h"

namespace sonvera {

// The folder of the add-in's own library, without a trailing separator.
std::string AddinFolder();
// Tests run the add-in's code outside its library and point it at a folder.
void SetAddinFolder(const std::string& folder);

// The short form of `path`, or "" after telling the user it was not found.
std::string ShortPathOf(const std::string& path);

// 1 saves the clipboard, any other value puts the saved contents back.
void PreserveClipboard(std::int16_t& mode);

// The add-in folder joined with a file name written with a leading "\".
std::string AddinFile(const std::string& backslashName);

void PutFaceOnClipboard(const std::string& faceFile);

// Loads `faceFile` ("\Name.bmp") from the add-in folder, puts it on the
// clipboard and pastes it on `button`, the clipboard saved around it.
// Statement by statement through `run`, so that a failure can be reported and
// the paste go on with whatever the clipboard holds.
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
