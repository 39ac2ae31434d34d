#include "platform/common/RegistryTree.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace platform {
namespace {

constexpr HKey kFirstHandle = 0x100;
constexpr HKey kHandleStep = 4;

struct RootEntry {
  HKey root;
  const char* name;
};

constexpr RootEntry kRootEntries[] = {
    {kHkeyClassesRoot, "HKEY_CLASSES_ROOT"},     {kHkeyCurrentUser, "HKEY_CURRENT_USER"},
    {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE"},   {kHkeyUsers, "HKEY_USERS"},
    {kHkeyCurrentConfig, "HKEY_CURRENT_CONFIG"},
};

// The ANSI calls take C strings: whatever follows a NUL is never seen.
std::string_view AsCString(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

struct PathParts {
  std::vector<std::string> names;
  std::vector<std::string> lower;
};

std::int32_t SplitPath(std::string_view path, PathParts* parts) {
  path = AsCString(path);
  if (!path.empty() && path.front() == '\\') return kErrorBadPathname;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view name = path.substr(start, end - start);
    if (!name.empty()) {
      if (!RegistryTree::ValidName(name)) return kErrorInvalidParameter;
      parts->names.emplace_back(name);
      parts->lower.push_back(RegistryTree::Lower(name));
    }
    start = end + 1;
  }
  return kErrorSuccess;
}

bool SameKey(const RegistryTree::Key& a, const RegistryTree::Key& b) {
  if (a.name != b.name || a.values.size() != b.values.size() ||
      a.subkeys.size() != b.subkeys.size()) {
    return false;
  }
  for (auto ia = a.values.begin(), ib = b.values.begin(); ia != a.values.end(); ++ia, ++ib) {
    if (ia->first != ib->first || ia->second.name != ib->second.name ||
        ia->second.type != ib->second.type || ia->second.data != ib->second.data) {
      return false;
    }
  }
  for (auto ia = a.subkeys.begin(), ib = b.subkeys.begin(); ia != a.subkeys.end(); ++ia, ++ib) {
    if (ia->first != ib->first || !SameKey(*ia->second, *ib->second)) return false;
  }
  return true;
}

std::map<HKey, std::unique_ptr<RegistryTree::Key>> EmptyRoots() {
  std::map<HKey, std::unique_ptr<RegistryTree::Key>> roots;
  for (const RootEntry& entry : kRootEntries) {
    auto key = std::make_unique<RegistryTree::Key>();
    key->name = entry.name;
    roots.emplace(entry.root, std::move(key));
  }
  return roots;
}

}  // namespace

RegistryTree::RegistryTree() : m_roots(EmptyRoots()), m_nextHandle(kFirstHandle) {}

RegistryTree::~RegistryTree() = default;

const std::vector<HKey>& RegistryTree::Roots() {
  static const std::vector<HKey> roots = [] {
    std::vector<HKey> list;
    std::transform(std::begin(kRootEntries), std::end(kRootEntries), std::back_inserter(list),
                   [](const RootEntry& entry) { return entry.root; });
    return list;
  }();
  return roots;
}

const char* RegistryTree::RootName(HKey root) {
  const auto* entry = std::find_if(std::begin(kRootEntries), std::end(kRootEntries),
                                   [&](const RootEntry& e) { return e.root == root; });
  return entry == std::end(kRootEntries) ? nullptr : entry->name;
}

bool RegistryTree::RootFromName(std::string_view name, HKey* root) {
  const std::string lower = Lower(name);
  const auto* entry = std::find_if(std::begin(kRootEntries), std::end(kRootEntries),
                                   [&](const RootEntry& e) { return Lower(e.name) == lower; });
  if (entry == std::end(kRootEntries)) return false;
  *root = entry->root;
  return true;
}

std::string RegistryTree::Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return lower;
}

bool RegistryTree::ValidName(std::string_view name) {
  return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::int32_t RegistryTree::ResolveHandle(HKey key, Handle* handle) const {
  if (m_roots.count(key)) {
    *handle = Handle{key, {}};
    return kErrorSuccess;
  }
  auto it = m_handles.find(key);
  if (it == m_handles.end()) return kErrorInvalidHandle;
  *handle = it->second;
  return kErrorSuccess;
}

RegistryTree::Key* RegistryTree::Find(const Handle& handle) const {
  auto root = m_roots.find(handle.root);
  if (root == m_roots.end()) return nullptr;
  Key* key = root->second.get();
  for (const std::string& name : handle.path) {
    auto it = key->subkeys.find(name);
    if (it == key->subkeys.end()) return nullptr;
    key = it->second.get();
  }
  return key;
}

std::int32_t RegistryTree::LookupKey(HKey key, Key** found, Handle* handle) const {
  Handle resolved;
  if (std::int32_t status = ResolveHandle(key, &resolved); status != kErrorSuccess) return status;
  *found = Find(resolved);
  if (handle) *handle = std::move(resolved);
  return *found ? kErrorSuccess : kErrorKeyDeleted;
}

RegistryTree::Key* RegistryTree::Child(Key* key, const std::string& lower,
                                       const std::string& name) {
  auto& slot = key->subkeys[lower];
  if (!slot) {
    slot = std::make_unique<Key>();
    slot->name = name;
    ++m_generation;
  }
  return slot.get();
}

template <typename Step>
std::int32_t RegistryTree::OpenPath(HKey root, const std::string& path, HKey* result, Step step) {
  if (!result) return kErrorInvalidParameter;
  *result = 0;
  Handle handle;
  Key* key = nullptr;
  if (std::int32_t status = LookupKey(root, &key, &handle); status != kErrorSuccess) return status;
  PathParts parts;
  if (std::int32_t status = SplitPath(path, &parts); status != kErrorSuccess) return status;
  if (parts.lower.empty()) {
    *result = root;
    return kErrorSuccess;
  }
  for (std::size_t i = 0; i < parts.lower.size(); ++i) {
    key = step(key, parts.lower[i], parts.names[i]);
    if (!key) return kErrorFileNotFound;
    handle.path.push_back(parts.lower[i]);
  }
  *result = NewHandle(std::move(handle));
  return kErrorSuccess;
}

HKey RegistryTree::NewHandle(Handle handle) {
  HKey id;
  do {
    id = m_nextHandle;
    m_nextHandle =
        m_nextHandle + kHandleStep >= kHkeyClassesRoot ? kFirstHandle : m_nextHandle + kHandleStep;
  } while (m_handles.count(id));
  m_handles.emplace(id, std::move(handle));
  return id;
}

std::int32_t RegistryTree::FindPath(HKey root, const std::string& path, HKey* result) {
  return OpenPath(root, path, result, [](Key* key, const std::string& lower, const std::string&) {
    auto it = key->subkeys.find(lower);
    return it == key->subkeys.end() ? nullptr : it->second.get();
  });
}

std::int32_t RegistryTree::OpenKey(HKey root, const std::string& path, HKey* result) {
  BeforeRead();
  return FindPath(root, path, result);
}

std::int32_t RegistryTree::CreateKey(HKey root, const std::string& path, HKey* result) {
  // Opening an existing key is no change.
  BeforeRead();
  const std::int32_t opened = FindPath(root, path, result);
  if (opened != kErrorFileNotFound && opened != kErrorKeyDeleted) return opened;
  HKey created = 0;
  const std::int32_t status = Change([&] {
    return OpenPath(root, path, &created,
                    [this](Key* key, const std::string& lower, const std::string& name) {
                      return Child(key, lower, name);
                    });
  });
  if (status != kErrorSuccess && created != 0 && created != root) CloseKey(created);
  if (result) *result = status == kErrorSuccess ? created : 0;
  return status;
}

std::int32_t RegistryTree::QueryValue(HKey key, const std::string& name, std::uint32_t* type,
                                      std::uint8_t* data, std::uint32_t* size) {
  BeforeRead();
  Key* found = nullptr;
  if (std::int32_t status = LookupKey(key, &found); status != kErrorSuccess) return status;
  if (data && !size) return kErrorInvalidParameter;
  auto it = found->values.find(Lower(AsCString(name)));
  if (it == found->values.end()) return kErrorFileNotFound;
  const RegValue& value = it->second;
  const auto need = static_cast<std::uint32_t>(value.data.size());
  if (type) *type = value.type;
  if (!data) {
    if (size) *size = need;
    return kErrorSuccess;
  }
  if (*size < need) {
    *size = need;
    return kErrorMoreData;
  }
  if (need) std::memcpy(data, value.data.data(), need);
  *size = need;
  return kErrorSuccess;
}

std::int32_t RegistryTree::SetValue(HKey key, const std::string& name, std::uint32_t type,
                                    const std::uint8_t* data, std::uint32_t size) {
  return Change([&] {
    Key* found = nullptr;
    if (std::int32_t status = LookupKey(key, &found); status != kErrorSuccess) return status;
    if (!data && size) return kErrorInvalidParameter;
    RegValue value;
    value.name = std::string(AsCString(name));
    value.type = type;
    if (size) value.data.assign(data, data + size);
    return PutValue(found, std::move(value));
  });
}

std::int32_t RegistryTree::CloseKey(HKey key) {
  if (m_roots.count(key)) return kErrorSuccess;  // predefined handles are never closed
  return m_handles.erase(key) ? kErrorSuccess : kErrorInvalidHandle;
}

std::int32_t RegistryTree::DeleteValue(HKey key, const std::string& name) {
  return Change([&] {
    Key* found = nullptr;
    if (std::int32_t status = LookupKey(key, &found); status != kErrorSuccess) return status;
    if (!found->values.erase(Lower(AsCString(name)))) return kErrorFileNotFound;
    ++m_generation;
    return kErrorSuccess;
  });
}

std::int32_t RegistryTree::DeleteTree(HKey root, const std::string& path) {
  return Change([&] { return RemoveTree(root, path); });
}

std::int32_t RegistryTree::RemoveTree(HKey root, const std::string& path) {
  Key* key = nullptr;
  if (std::int32_t status = LookupKey(root, &key); status != kErrorSuccess) return status;
  PathParts parts;
  if (std::int32_t status = SplitPath(path, &parts); status != kErrorSuccess) return status;
  if (parts.lower.empty()) {
    // As the desktop call does for no subkey: empty the key, keep it.
    if (!key->values.empty() || !key->subkeys.empty()) ++m_generation;
    key->values.clear();
    key->subkeys.clear();
    return kErrorSuccess;
  }
  for (std::size_t i = 0; i + 1 < parts.lower.size(); ++i) {
    auto it = key->subkeys.find(parts.lower[i]);
    if (it == key->subkeys.end()) return kErrorFileNotFound;
    key = it->second.get();
  }
  if (!key->subkeys.erase(parts.lower.back())) return kErrorFileNotFound;
  ++m_generation;
  return kErrorSuccess;
}

std::int32_t RegistryTree::ListValues(HKey key, std::vector<RegValue>* values) {
  BeforeRead();
  if (!values) return kErrorInvalidParameter;
  Key* found = nullptr;
  if (std::int32_t status = LookupKey(key, &found); status != kErrorSuccess) return status;
  values->clear();
  for (const auto& [lower, value] : found->values) values->push_back(value);
  return kErrorSuccess;
}

std::int32_t RegistryTree::ListSubkeys(HKey key, std::vector<std::string>* names) {
  BeforeRead();
  if (!names) return kErrorInvalidParameter;
  Key* found = nullptr;
  if (std::int32_t status = LookupKey(key, &found); status != kErrorSuccess) return status;
  names->clear();
  for (const auto& [lower, subkey] : found->subkeys) names->push_back(subkey->name);
  return kErrorSuccess;
}

const RegistryTree::Key& RegistryTree::RootKey(HKey root) const {
  return *m_roots.at(root);
}

std::int32_t RegistryTree::CreatePath(HKey root, std::string_view path, Key** key) {
  auto it = m_roots.find(root);
  if (it == m_roots.end()) return kErrorInvalidHandle;
  PathParts parts;
  if (std::int32_t status = SplitPath(path, &parts); status != kErrorSuccess) return status;
  Key* current = it->second.get();
  for (std::size_t i = 0; i < parts.lower.size(); ++i)
    current = Child(current, parts.lower[i], parts.names[i]);
  *key = current;
  return kErrorSuccess;
}

std::int32_t RegistryTree::DeletePath(HKey root, std::string_view path) {
  if (!m_roots.count(root)) return kErrorInvalidHandle;
  return DeleteTree(root, std::string(path));
}

std::int32_t RegistryTree::PutValue(Key* key, RegValue value) {
  if (!ValidName(value.name)) return kErrorInvalidParameter;
  auto [it, inserted] = key->values.try_emplace(Lower(value.name));
  RegValue& slot = it->second;
  if (!inserted && slot.type == value.type && slot.data == value.data) return kErrorSuccess;
  if (inserted) slot.name = std::move(value.name);
  slot.type = value.type;
  slot.data = std::move(value.data);
  ++m_generation;
  return kErrorSuccess;
}

void RegistryTree::RemoveValue(Key* key, std::string_view name) {
  if (key->values.erase(Lower(name))) ++m_generation;
}

void RegistryTree::ReplaceContent(RegistryTree&& other) {
  m_roots = std::exchange(other.m_roots, EmptyRoots());
  ++m_generation;
}

void RegistryTree::Clear() {
  m_roots = EmptyRoots();
  ++m_generation;
}

bool RegistryTree::SameContent(const RegistryTree& other) const {
  return std::all_of(Roots().begin(), Roots().end(),
                     [&](HKey root) { return SameKey(RootKey(root), other.RootKey(root)); });
}

}  // namespace platform
