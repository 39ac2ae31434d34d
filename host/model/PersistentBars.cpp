#include "host/model/PersistentBars.h"

#include "platform/Platform.h"

namespace mailhost {

std::vector<std::string> PersistentBars::Names(const std::string& windowKind) {
  std::vector<std::string> names;
  auto* registry = platform::Current().registry;
  if (!registry) return names;
  platform::HKey key = 0;
  if (registry->OpenKey(platform::kHkeyCurrentUser,
                        std::string(kPersistentBarsKey) + "\\" + windowKind,
                        &key) != platform::kErrorSuccess) {
    return names;
  }
  std::vector<platform::RegValue> values;
  if (registry->ListValues(key, &values) == platform::kErrorSuccess) {
    for (const auto& value : values) {
      if (!value.name.empty()) names.push_back(value.name);
    }
  }
  registry->CloseKey(key);
  return names;
}

void PersistentBars::Remember(const std::string& windowKind, const std::string& name) {
  auto* registry = platform::Current().registry;
  if (!registry) return;
  platform::HKey key = 0;
  if (registry->CreateKey(platform::kHkeyCurrentUser,
                          std::string(kPersistentBarsKey) + "\\" + windowKind,
                          &key) != platform::kErrorSuccess) {
    return;
  }
  const std::uint8_t empty = 0;
  registry->SetValue(key, name, platform::kRegSz, &empty, 1);
  registry->CloseKey(key);
}

}  // namespace mailhost
