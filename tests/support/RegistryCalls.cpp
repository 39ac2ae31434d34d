#include "tests/support/RegistryCalls.h"

namespace testsupport {

ReadValue Query(platform::Registry& registry, platform::HKey key, const std::string& name) {
  ReadValue read;
  std::uint32_t size = 0;
  read.status = registry.QueryValue(key, name, &read.type, nullptr, &size);
  if (read.status != platform::kErrorSuccess) return read;
  read.data.resize(size);
  read.status = registry.QueryValue(key, name, &read.type, read.data.data(), &size);
  read.data.resize(size);
  return read;
}

std::int32_t Set(platform::Registry& registry, platform::HKey key, const std::string& name,
                 std::uint32_t type, const Bytes& data) {
  return registry.SetValue(key, name, type, data.data(), static_cast<std::uint32_t>(data.size()));
}

std::optional<platform::RegValue> GetValue(platform::Registry& registry, const std::string& path,
                                           const std::string& name) {
  platform::HKey key = 0;
  if (registry.OpenKey(platform::kHkeyCurrentUser, path, &key) != platform::kErrorSuccess) {
    return std::nullopt;
  }
  ReadValue read = Query(registry, key, name);
  registry.CloseKey(key);
  if (read.status != platform::kErrorSuccess) return std::nullopt;
  return platform::RegValue{name, read.type, std::move(read.data)};
}

std::int32_t PutValue(platform::Registry& registry, const std::string& path,
                      const std::string& name, std::uint32_t type, const Bytes& data) {
  platform::HKey key = 0;
  std::int32_t status = registry.CreateKey(platform::kHkeyCurrentUser, path, &key);
  if (status != platform::kErrorSuccess) return status;
  status = Set(registry, key, name, type, data);
  registry.CloseKey(key);
  return status;
}

}  // namespace testsupport
