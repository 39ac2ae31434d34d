#pragma once
#include <string>

namespace sonvera {

// The short form of `path`, or "" after telling the user it was not found.
std::string ShortPathOf(const std::string& path);

}  // namespace sonvera
