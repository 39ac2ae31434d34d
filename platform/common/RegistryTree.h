#pragma once
// The registry held in memory, with the desktop system's semantics: the memory
// backend as it is, and the cache behind the file backend.
//
// Key paths are split at '\'. A path that starts with '\' is refused with
// kErrorBadPathname (the desktop system refuses it for open and create alike);
// doubled and trailing separators are skipped, so "A\\B\" names "A\B". An
// empty path hands back the handle it was given, as the ANSI open and create
// calls do, so closing that handle closes the one passed in. Names end at their
// first NUL, as they would in a C string; a name holding CR or LF cannot be
// stored in the file format and is refused with kErrorInvalidParameter.
//
// A handle remembers the path of its key, not the key itself: the file backend
// swaps the whole content when another process writes. A handle whose key was
// deleted fails with kErrorKeyDeleted until a key of that path exists again.
//
// A store that keeps the tree somewhere else too (the registry file) is a
// tree that hears of each read before it, and runs each change itself. The
// direct access below bypasses that store: it is its own and the file
// reader's, not a caller's.
//
// One thread, as the rest of the platform.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Registry.h"

namespace platform {

constexpr HKey kHkeyUsers = 0x80000003u;
constexpr HKey kHkeyCurrentConfig = 0x80000005u;

// What the desktop system answers for a handle whose key is gone.
constexpr std::int32_t kErrorKeyDeleted = 1018;

class RegistryTree : public Registry {
 public:
  // Keys and values are mapped by their lower-cased name and keep the case
  // they were first written with.
  struct Key {
    std::string name;
    std::map<std::string, RegValue> values;
    std::map<std::string, std::unique_ptr<Key>> subkeys;
  };

  RegistryTree();
  ~RegistryTree() override;
  RegistryTree(const RegistryTree&) = delete;
  RegistryTree& operator=(const RegistryTree&) = delete;

  std::int32_t OpenKey(HKey root, const std::string& path, HKey* result) override;
  std::int32_t CreateKey(HKey root, const std::string& path, HKey* result) override;
  std::int32_t QueryValue(HKey key, const std::string& name, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* size) override;
  std::int32_t SetValue(HKey key, const std::string& name, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) override;
  std::int32_t CloseKey(HKey key) override;
  std::int32_t DeleteValue(HKey key, const std::string& name) override;
  std::int32_t DeleteTree(HKey root, const std::string& path) override;
  std::int32_t ListValues(HKey key, std::vector<RegValue>* values) override;
  std::int32_t ListSubkeys(HKey key, std::vector<std::string>* names) override;

  // The predefined roots in the order a file lists them, and their names there.
  static const std::vector<HKey>& Roots();
  static const char* RootName(HKey root);
  static bool RootFromName(std::string_view name, HKey* root);

  // Direct access for the file reader and writer; these bypass handles.
  const Key& RootKey(HKey root) const;
  // Creates every missing level below a predefined root; returns the status.
  std::int32_t CreatePath(HKey root, std::string_view path, Key** key);
  std::int32_t DeletePath(HKey root, std::string_view path);
  std::int32_t PutValue(Key* key, RegValue value);
  void RemoveValue(Key* key, std::string_view name);

  // Counts content changes, so a caller can tell whether an operation changed
  // anything worth saving.
  std::uint64_t Generation() const { return m_generation; }
  // Takes over the other tree's content and keeps this tree's open handles.
  void ReplaceContent(RegistryTree&& other);
  void Clear();
  bool SameContent(const RegistryTree& other) const;

  static std::string Lower(std::string_view text);
  static bool ValidName(std::string_view name);

 protected:
  virtual void BeforeRead() {}
  // Returns the change's status, or the store's when it could not keep it.
  virtual std::int32_t Change(const std::function<std::int32_t()>& change) { return change(); }

 private:
  struct Handle {
    HKey root = 0;
    std::vector<std::string> path;  // lower-cased names below the root
  };

  std::int32_t ResolveHandle(HKey key, Handle* handle) const;
  Key* Find(const Handle& handle) const;
  // The key a handle names, and the handle resolved when asked for.
  std::int32_t LookupKey(HKey key, Key** found, Handle* handle = nullptr) const;
  HKey NewHandle(Handle handle);
  std::int32_t FindPath(HKey root, const std::string& path, HKey* result);
  std::int32_t RemoveTree(HKey root, const std::string& path);
  // The subkey, made when it is missing.
  Key* Child(Key* key, const std::string& lower, const std::string& name);
  // A handle to `path` below `root`, each level through `step(key, lower,
  // name)`, which gives the subkey or null for a missing one.
  template <typename Step>
  std::int32_t OpenPath(HKey root, const std::string& path, HKey* result, Step step);

  std::map<HKey, std::unique_ptr<Key>> m_roots;
  std::unordered_map<HKey, Handle> m_handles;
  HKey m_nextHandle;
  std::uint64_t m_generation = 0;
};

}  // namespace platform
