#pragma once
// File tests of the add-in's routines.
#include <cstdint>
#include <string>

namespace sonvera {

// True when the file's attributes can be read.
bool FileExists(const std::string& path);
// The length in bytes; throws platform::Error for a file that cannot be read.
std::uintmax_t FileLength(const std::string& path);
// Removes the file; throws platform::Error with the reason when it stays.
void KillFile(const std::string& path);
// Why a file cannot be written in `folder` right now, in the system's words
// ("No space left on device"), or "" when it can. Tries it: free-space
// figures do not show quotas, read-only mounts or missing rights.
std::string WhyCannotWrite(const std::string& folder);

}  // namespace sonvera
