#pragma once
// The store of scripts and unit tests: five folders in memory, gone at exit.
#include <map>

#include "host/store/MailStore.h"

namespace mailhost {

class MemoryMailStore : public MailStore {
 public:
  MemoryMailStore();

  std::vector<StoredFolder> Folders() const override;
  std::vector<StoredItem> Items(const std::string& folder) const override;
  void Add(const std::string& folder, const StoredItem& item) override;
  void Move(const std::string& id, const std::string& toFolder) override;

 private:
  struct FolderData {
    StoredFolder info;
    std::vector<StoredItem> items;
  };
  FolderData& Require(const std::string& folder);
  const FolderData& Require(const std::string& folder) const;

  std::vector<FolderData> m_folders;
};

}  // namespace mailhost
