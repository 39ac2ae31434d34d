#pragma once
// The store of scripts and of the interactive console: five folders in memory,
// gone at exit.
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

  // A few mails, a contact and an appointment, so that a person at the
  // console has something to look at.
  void AddSamples();

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
