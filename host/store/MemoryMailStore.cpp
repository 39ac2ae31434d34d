#include "host/store/MemoryMailStore.h"

#include <algorithm>

#include "hostmodel/HostModel.h"
#include "platform/Error.h"

namespace mailhost {
namespace {

constexpr const char* kDraftsFolder = "Drafts";

// A mail in Drafts is a draft, as mail clients agree.
void Place(const std::string& folder, StoredItem& item) {
  if (folder == kDraftsFolder) item.sent = false;
}

}  // namespace

MemoryMailStore::MemoryMailStore()
    : m_folders{
          {{"Inbox", hostmodel::kOlMailItem}, {}},
          {{"Sent", hostmodel::kOlMailItem}, {}},
          {{"Drafts", hostmodel::kOlMailItem}, {}},
          {{"Contacts", hostmodel::kOlContactItem}, {}},
          {{"Calendar", hostmodel::kOlAppointmentItem}, {}},
      } {}

std::vector<StoredFolder> MemoryMailStore::Folders() const {
  std::vector<StoredFolder> result;
  for (const auto& folder : m_folders) result.push_back(folder.info);
  return result;
}

std::vector<StoredItem> MemoryMailStore::Items(const std::string& folder) const {
  return Require(folder).items;
}

void MemoryMailStore::Add(const std::string& folder, const StoredItem& item) {
  auto& target = Require(folder);
  for (const auto& other : m_folders) {
    if (&other == &target) continue;
    for (const auto& existing : other.items) {
      if (existing.id == item.id) {
        throw platform::Error("The item " + item.id + " is already in the folder " +
                              other.info.name + ".");
      }
    }
  }
  auto same = std::find_if(target.items.begin(), target.items.end(),
                           [&](const StoredItem& existing) { return existing.id == item.id; });
  if (same != target.items.end()) {
    *same = item;
  } else {
    same = target.items.insert(target.items.end(), item);
  }
  Place(folder, *same);
}

void MemoryMailStore::Move(const std::string& id, const std::string& toFolder) {
  auto& target = Require(toFolder);
  for (auto& folder : m_folders) {
    auto found = std::find_if(folder.items.begin(), folder.items.end(),
                              [&](const StoredItem& item) { return item.id == id; });
    if (found == folder.items.end()) continue;
    if (&folder == &target) return;
    StoredItem item = std::move(*found);
    folder.items.erase(found);
    Place(toFolder, item);
    target.items.push_back(std::move(item));
    return;
  }
  throw platform::Error("The item " + id + " does not exist.");
}

MemoryMailStore::FolderData& MemoryMailStore::Require(const std::string& folder) {
  const auto& self = *this;
  return const_cast<FolderData&>(self.Require(folder));
}

const MemoryMailStore::FolderData& MemoryMailStore::Require(const std::string& folder) const {
  for (const auto& data : m_folders) {
    if (data.info.name == folder) return data;
  }
  throw platform::Error("The folder " + folder + " does not exist.");
}

}  // namespace mailhost
