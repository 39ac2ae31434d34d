#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "host/store/MailStore.h"
#include "hostmodel/HostModel.h"

namespace mailhost {

class Attachment;

class Attachments : public hostmodel::Attachments,
                    public std::enable_shared_from_this<Attachments> {
 public:
  // `added` runs after each Add with the new attachment (the mail fires its
  // event there); `changed` after every change, so the mail can be stored.
  using AddedFn = std::function<void(hostmodel::Ref<hostmodel::Attachment>)>;
  using ChangedFn = std::function<void()>;

  Attachments(AddedFn added, ChangedFn changed);

  int Count() override { return static_cast<int>(m_items.size()); }
  hostmodel::Ref<hostmodel::Attachment> GetItem(int index) override;
  hostmodel::Ref<hostmodel::Attachment> Add(const std::string& path, int position) override;
  void Remove(int index) override;

  // Puts stored attachments back without any event.
  void Load(const std::vector<StoredAttachment>& stored);
  std::vector<StoredAttachment> ToStored() const;
  // Names and sizes, without a copy of the bytes: what the page and
  // `show-mail` show of a mail that may carry hundreds of megabytes.
  struct Listed {
    std::string fileName;
    std::size_t size;
    bool message;  // an attached mail
  };
  std::vector<Listed> Listing() const;
  int IndexOf(const Attachment* attachment) const;
  // The item at a 1-based index, or null.
  std::shared_ptr<Attachment> At(int index) const;

  // Why the attachments can no longer be saved (their mail is gone), or "".
  const std::string& Gone() const { return m_gone; }
  void SetGone(std::string why) { m_gone = std::move(why); }

 private:
  AddedFn m_added;
  ChangedFn m_changed;
  std::vector<std::shared_ptr<Attachment>> m_items;
  std::string m_gone;
};

}  // namespace mailhost
