#include "host/store/MailStore.h"

#include "platform/Error.h"

namespace mailhost {

std::vector<StoredItem> MailStore::Summaries(const std::string& folder) const {
  auto items = Items(folder);
  for (auto& item : items) {
    item.body.clear();
    for (auto& attachment : item.attachments) attachment.bytes = {};
  }
  return items;
}

StoredItem MailStore::Summary(const std::string& id) const {
  const auto folder = FolderOf(id);
  if (!folder.empty()) {
    for (auto& item : Summaries(folder)) {
      if (item.id == id) return item;
    }
  }
  throw platform::Error("The item " + id + " does not exist.");
}

StoredItem MailStore::Load(const std::string& id) const {
  for (const auto& folder : Folders()) {
    for (auto& item : Items(folder.name)) {
      if (item.id == id) return item;
    }
  }
  throw platform::Error("The item " + id + " does not exist.");
}

std::string MailStore::FolderOf(const std::string& id) const {
  for (const auto& folder : Folders()) {
    for (const auto& item : Summaries(folder.name)) {
      if (item.id == id) return folder.name;
    }
  }
  return "";
}

void MailStore::MarkRead(const std::string& id) {
  const auto folder = FolderOf(id);
  if (folder.empty()) throw platform::Error("The item " + id + " does not exist.");
  auto item = Load(id);
  item.read = true;
  Add(folder, item);
}

std::string MailStore::NewId() {
  return "new" + std::to_string(++m_newIds);
}

void MailStore::File(const std::string& folder, const StoredItem& item) {
  const auto holder = FolderOf(item.id);
  if (!holder.empty() && holder != folder) Move(item.id, folder);
  Add(folder, item);
}

}  // namespace mailhost
