#pragma once
#include <functional>
#include <memory>
#include <string>

#include "host/store/MailStore.h"
#include "hostmodel/HostModel.h"

namespace mailhost {

class Attachments;

// A live mail: the object the add-in holds. Every change is written back to
// the store at once; a draft is written with its Message-Id (made at its
// first save and kept), its sender and the time of the save.
class MailItem : public hostmodel::MailItem, public std::enable_shared_from_this<MailItem> {
 public:
  // `sender` is the From of a draft that names none.
  static std::shared_ptr<MailItem> Create(MailStore& store, const std::string& folder,
                                          const StoredItem& stored, const std::string& sender = "");
  // A mail attached to another: shown as it came, kept in no store.
  static std::shared_ptr<MailItem> Attached(const std::string& folder, const StoredItem& stored);

  int Class() override { return hostmodel::kOlMail; }
  hostmodel::Ref<hostmodel::Attachments> GetAttachments() override;
  std::string Body() override { return m_stored.body; }
  void SetBody(const std::string& body) override;
  bool Sent() override { return m_stored.sent; }

  const std::string& Id() const { return m_stored.id; }
  const std::string& Folder() const { return m_folder; }
  const std::string& Subject() const { return m_stored.subject; }
  void SetSubject(const std::string& subject);
  const std::string& To() const { return m_stored.to; }
  const std::string& From() const { return m_stored.from; }
  const std::string& Date() const { return m_stored.date; }
  bool Deleted() const { return m_stored.deleted; }
  void SetTo(const std::string& to);
  // The user has read it: the store keeps the flag.
  void MarkRead();
  std::shared_ptr<Attachments> AttachmentList() const { return m_attachments; }
  // The add-in's Send event; false when a handler cancelled the send.
  bool FireSend();
  // The copy that leaves: everything the mail holds, from `from` where it
  // names no sender, dated now, sent and read. The mail itself stays as it is
  // until the store has filed the copy.
  StoredItem Outgoing(const std::string& from) const;
  // The store holds `sent` in `folder` now: the mail is that copy.
  void Filed(const StoredItem& sent, const std::string& folder);
  // What another program changed: where the mail is, its read and deleted
  // marks (from a summary of the store).
  void Refresh(const std::string& folder, const StoredItem& summary);
  // Another program removed the mail from the store: it can be neither
  // changed, nor sent, nor its attachments played. A mail that comes back
  // is the mail again.
  void SetRemoved(bool removed);
  bool Removed() const { return m_removed; }
  bool IsAttached() const { return m_store == nullptr; }

 private:
  MailItem(MailStore* store, const std::string& folder, const StoredItem& stored,
           std::string sender);
  static std::shared_ptr<MailItem> Make(MailStore* store, const std::string& folder,
                                        const StoredItem& stored, const std::string& sender);
  void Store();

  MailStore* m_store;  // null for an attached mail
  std::string m_folder;
  std::string m_sender;
  bool m_removed = false;
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
