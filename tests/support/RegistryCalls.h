#pragma once
// Registry calls the way the add-in makes them, in one line each for tests.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

inline Bytes B(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

struct ReadValue {
  std::int32_t status = -1;
  std::uint32_t type = 0;
  Bytes data;
};

// Asks for the size, then fetches into a buffer of that size.
ReadValue Query(platform::Registry& registry, platform::HKey key, const std::string& name);
std::int32_t Set(platform::Registry& registry, platform::HKey key, const std::string& name,
                 std::uint32_t type, const Bytes& data);

// The same below the current user's root, opening `path` (creating it, to write).
std::optional<platform::RegValue> GetValue(platform::Registry& registry, const std::string& path,
                                           const std::string& name);
std::int32_t PutValue(platform::Registry& registry, const std::string& path,
                      const std::string& name, std::uint32_t type, const Bytes& data);

}  // namespace testsupport
