#pragma once
// The registry as the add-in sees it: the ANSI registry calls of the desktop
// system, with their handles and status codes. Keys are paths below a root
// handle; names compare case-insensitively (ASCII), as on the original system.
//
// Contract for every backend:
// - OpenKey opens an existing key only; CreateKey opens or creates every
//   missing level. Both hand out a handle that CloseKey releases; handles are
//   never 0, and closing 0 or an unknown handle returns kErrorInvalidHandle
//   and does no harm.
// - QueryValue with data == nullptr reports type and size; with a buffer it
//   copies when *size is large enough, else sets *size to the need and returns
//   kErrorMoreData. A missing value: kErrorFileNotFound, *type left as is.
// - SetValue stores the bytes exactly (a string need not end in NUL and may
//   hold NULs); types are kept as given. A change that cannot be stored
//   (kErrorDiskFull when the disk is full) leaves every value as it was.
// - Values written through one handle are visible to every later call, in this
//   process and, for a persistent backend, in every other process.
// - Between BeginBatch and EndBatch (batches nest; the outermost counts) a
//   persistent backend may hold its changes and save them as one write when
//   the batch ends: this store sees them at once, other processes from then
//   on. EndBatch returns the status of that write; a failed one loses the
//   batch's changes, as a failed single write loses its own.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

using HKey = std::uint32_t;

constexpr HKey kHkeyClassesRoot = 0x80000000u;
constexpr HKey kHkeyCurrentUser = 0x80000001u;
constexpr HKey kHkeyLocalMachine = 0x80000002u;

// Value types.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;
constexpr std::uint32_t kRegQword = 11;

// Status codes.
constexpr std::int32_t kErrorSuccess = 0;
constexpr std::int32_t kErrorFileNotFound = 2;
constexpr std::int32_t kErrorAccessDenied = 5;
constexpr std::int32_t kErrorInvalidHandle = 6;
constexpr std::int32_t kErrorInvalidParameter = 87;
constexpr std::int32_t kErrorMoreData = 234;
constexpr std::int32_t kErrorBadPathname = 161;
constexpr std::int32_t kErrorWriteFault = 29;
constexpr std::int32_t kErrorDiskFull = 112;

// The system's words for a status, for a person to read ("No space left on
// device" for kErrorDiskFull).
std::string RegistryStatusText(std::int32_t status);

struct RegValue {
  std::string name;  // "" is the key's default value
  std::uint32_t type = kRegNone;
  std::vector<std::uint8_t> data;
};

class Registry {
 public:
  virtual ~Registry() = default;

  virtual std::int32_t OpenKey(HKey root, const std::string& path, HKey* result) = 0;
  virtual std::int32_t CreateKey(HKey root, const std::string& path, HKey* result) = 0;
  virtual std::int32_t QueryValue(HKey key, const std::string& name, std::uint32_t* type,
                                  std::uint8_t* data, std::uint32_t* size) = 0;
  virtual std::int32_t SetValue(HKey key, const std::string& name, std::uint32_t type,
                                const std::uint8_t* data, std::uint32_t size) = 0;
  virtual std::int32_t CloseKey(HKey key) = 0;

  // Beyond the add-in's needs: the host's loader, its scenario runner and the
  // registration entry points use these.
  virtual std::int32_t DeleteValue(HKey key, const std::string& name) = 0;
  // Removes the key and everything below it.
  virtual std::int32_t DeleteTree(HKey root, const std::string& path) = 0;
  // Values of a key, sorted by name (case-insensitively).
  virtual std::int32_t ListValues(HKey key, std::vector<RegValue>* values) = 0;
  // Names of the direct subkeys, sorted (case-insensitively).
  virtual std::int32_t ListSubkeys(HKey key, std::vector<std::string>* names) = 0;

  // A memory store has nothing to group.
  virtual void BeginBatch() {}
  virtual std::int32_t EndBatch() { return kErrorSuccess; }
};

// A batch for the length of a scope; Commit ends it early with its status.
class RegistryBatch {
 public:
  explicit RegistryBatch(Registry& registry) : m_registry(registry) { m_registry.BeginBatch(); }
  ~RegistryBatch() {
    if (m_open) m_registry.EndBatch();
  }
  RegistryBatch(const RegistryBatch&) = delete;
  RegistryBatch& operator=(const RegistryBatch&) = delete;

  std::int32_t Commit() {
    if (!m_open) return kErrorSuccess;
    m_open = false;
    return m_registry.EndBatch();
  }

 private:
  Registry& m_registry;
  bool m_open = true;
};

}  // namespace platform
