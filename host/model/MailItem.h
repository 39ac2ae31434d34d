#pragma once
#include <memory>
#include <string>

#include "host/store/MailStore.h"
#include "hostmodel/HostModel.h"

namespace mailhost {

class Attachments;

// A live mail: the object the add-in holds. Every change is written back to
// the store at once.
class MailItem : public hostmodel::MailItem, public std::enable_shared_from_this<MailItem> {
 public:
  static std::shared_ptr<MailItem> Create(MailStore& store, const std::string& folder,
                                          const StoredItem& stored);

  int Class() override { return hostmodel::kOlMail; }
  hostmodel::Ref<hostmodel::Attachments> GetAttachments() override;
  std::string Body() override { return m_stored.body; }
  void SetBody(const std::string& body) override;
  bool Sent() override { return m_stored.sent; }

  const std::string& Id() const { return m_stored.id; }
  const std::string& Folder() const { return m_folder; }
  const std::string& Subject() const { return m_stored.subject; }
  void SetSubject(const std::string& subject);
  std::shared_ptr<Attachments> AttachmentList() const { return m_attachments; }
  // The user sends: the add-in may cancel; otherwise the mail is sent and
  // moved to `sentFolder`. Returns whether it was sent.
  bool DoSend(const std::string& sentFolder);

 private:
  MailItem(MailStore& store, const std::string& folder, const StoredItem& stored);
  void Store();

  MailStore& m_store;
  std::string m_folder;
  // All but the attachments, which live in m_attachments; what the host does
  // not show (addresses, date, message id, read) goes back to the store as it
  // came.
  StoredItem m_stored;
  std::shared_ptr<Attachments> m_attachments;
};

// Contacts and appointments: the add-in only asks what they are.
class PlainItem : public hostmodel::Item {
 public:
  explicit PlainItem(int itemClass) : m_class(itemClass) {}
  int Class() override { return m_class; }

 private:
  int m_class;
};

}  // namespace mailhost
