#pragma once
// Every registry read and write of the add-in goes through here.
#include <cstdint>
#include <string>
#include <variant>

#include "platform/Registry.h"

namespace sonvera {

// A string for a string value, a 32-bit integer for a DWORD value, "" for
// everything else.
using RegData = std::variant<std::string, std::int32_t>;
// What a caller may hand SetRegValue: text, a whole number or a real number.
using RegInput = std::variant<std::string, std::int64_t, double>;

// Status of the most recent registry call (0 is success).
extern std::int32_t LastRegResult;

RegData GetRegValue(platform::HKey root, const std::string& keyPath, const std::string& valueName);
// Returns the status of the write (0 is success), so that a caller that must
// not lose the value can tell the person; LastRegResult ends as the close's.
std::int32_t SetRegValue(platform::HKey root, const std::string& keyPath,
                         const std::string& valueName, const RegInput& value, bool forceText);
void CreateRegKey(platform::HKey root, const std::string& keyPath);

// The text of a value read back, as the original run time converts it.
std::string RegDataText(const RegData& data);
// Blanks removed at both ends, as the original run time's Trim does.
std::string Trim(const std::string& text);
// Whether text reads as a number, as the original run time's test does.
bool IsNumericText(const std::string& text);

}  // namespace sonvera
