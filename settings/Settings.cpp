#include "settings/Settings.h"

#include "common/Routine.h"
#include "settings/Reg.h"

namespace sonvera {

namespace {

// A value that holds one digit, as the text "0" to "9" (blanks around it
// allowed) or a DWORD; -1 for anything else, a missing value included.
int DigitValue(const char* valueName) {
  RegData value = std::string();
  IgnoreErrors([&] { value = GetRegValue(platform::kHkeyCurrentUser, kSettingsKey, valueName); });
  if (const auto* number = std::get_if<std::int32_t>(&value))
    return *number >= 0 && *number <= 9 ? *number : -1;
  const auto& text = std::get<std::string>(value);
  const auto begin = text.find_first_not_of(' ');
  const auto end = text.find_last_not_of(' ');
  if (begin != std::string::npos && begin == end && text[begin] >= '0' && text[begin] <= '9')
    return text[begin] - '0';
  return -1;
}

}  // namespace

int AudioQuality() {
  const int quality = DigitValue(kValueAQ);
  return quality >= 0 && quality < kQualityCount ? quality : kFallbackQuality;
}

bool NormaliseVoice() {
  return DigitValue(kValueNormalise) != 0;
}

}  // namespace sonvera
