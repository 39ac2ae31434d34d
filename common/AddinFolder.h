#pragma once
// The add-in folder: the folder of the add-in's own library, which holds the
// faces, the samples, the working sound files and the encoder.
#include <string>

namespace sonvera {

// Without a trailing separator.
std::string AddinFolder();

// The add-in folder joined with a file name written with a leading "\"
// ("\Sonvera.bmp"), with the platform's separator.
std::string AddinFile(const std::string& backslashName);

}  // namespace sonvera
