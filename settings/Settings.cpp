#include "common/Routine.h"
#include "settings/Reg.h"
#include "settings/Settings.h"

namespace sonvera {

int AudioQuality() {
  RegData aq = std::string();
  IgnoreErrors([&] { aq = GetRegValue(platform::kHkeyCurrentUser, kSettingsKey, kValueAQ); });
  int quality = -1;
  if (const auto* number = std::get_if<std::int32_t>(&aq)) {
    quality = *number;
  } else {
    const auto& text = std::get<std::string>(aq);
    const auto begin = text.find_first_not_of(' ');
    const auto end = text.find_last_not_of(' ');
    if (begin != std::string::npos && begin == end && text[begin] >= '0' && text[begin] <= '9')
      quality = text[begin] - '0';
  }
  return quality >= 0 && quality < kQualityCount ? quality : kFallbackQuality;
}

}  // namespace sonvera
