#include "host/model/MailItem.h"

#include "host/model/Attachments.h"
#include "host/model/GuardedFire.h"
#include "host/store/MimeMessage.h"
#include "platform/Error.h"

namespace mailhost {
namespace {

constexpr const char* kRemoved =
    "The mail was removed from the mail store by another program; it can no longer be changed, "
    "sent or played.";

}  // namespace

std::shared_ptr<MailItem> MailItem::Create(MailStore& store, const std::string& folder,
                                           const StoredItem& stored, const std::string& sender) {
  return Make(&store, folder, stored, sender);
}

std::shared_ptr<MailItem> MailItem::Attached(const std::string& folder, const StoredItem& stored) {
  StoredItem received = stored;
  received.sent = true;
  return Make(nullptr, folder, received, "");
}

std::shared_ptr<MailItem> MailItem::Make(MailStore* store, const std::string& folder,
                                         const StoredItem& stored, const std::string& sender) {
  std::shared_ptr<MailItem> mail(new MailItem(store, folder, stored, sender));
  std::weak_ptr<MailItem> weak = mail;
  mail->m_attachments = std::make_shared<Attachments>(
      [weak](hostmodel::Ref<hostmodel::Attachment> added) {
        if (auto self = weak.lock()) FireGuarded("AttachmentAdd", self->AttachmentAdd, added);
      },
      [weak] {
        if (auto self = weak.lock()) self->Store();
      });
  mail->m_attachments->Load(stored.attachments);
  return mail;
}

MailItem::MailItem(MailStore* store, const std::string& folder, const StoredItem& stored,
                   std::string sender)
    : m_store(store), m_folder(folder), m_sender(std::move(sender)), m_stored(stored) {
  m_stored.attachments.clear();
  m_stored.itemClass = hostmodel::kOlMail;
}

hostmodel::Ref<hostmodel::Attachments> MailItem::GetAttachments() {
  return m_attachments;
}

void MailItem::SetBody(const std::string& body) {
  m_stored.body = body;
  Store();
}

void MailItem::SetSubject(const std::string& subject) {
  m_stored.subject = subject;
  Store();
}

void MailItem::SetTo(const std::string& to) {
  m_stored.to = to;
  Store();
}

void MailItem::MarkRead() {
  if (m_stored.read || m_removed) return;
  m_stored.read = true;
  if (m_store) m_store->MarkRead(m_stored.id);
}

bool MailItem::FireSend() {
  bool cancel = false;
  FireGuarded("Send", Send, cancel);
  return !cancel;
}

StoredItem MailItem::Outgoing(const std::string& from) const {
  StoredItem outgoing = m_stored;
  outgoing.attachments = m_attachments->ToStored();
  if (outgoing.from.empty()) outgoing.from = from;
  if (outgoing.messageId.empty()) outgoing.messageId = NewMessageId();
  // A mail is dated when it leaves, not when its draft was begun.
  outgoing.date = DateNow();
  outgoing.sent = true;
  outgoing.read = true;
  return outgoing;
}

void MailItem::Filed(const StoredItem& sent, const std::string& folder) {
  m_stored = sent;
  m_stored.attachments.clear();
  m_folder = folder;
}

void MailItem::Refresh(const std::string& folder, const StoredItem& summary) {
  m_folder = folder;
  m_stored.read = summary.read;
  m_stored.deleted = summary.deleted;
}

void MailItem::SetRemoved(bool removed) {
  m_removed = removed;
  m_attachments->SetGone(removed ? kRemoved : "");
}

void MailItem::Store() {
  if (m_removed) throw platform::Error(kRemoved);
  if (!m_store) return;  // an attached mail changes only as it is shown
  if (m_stored.messageId.empty()) m_stored.messageId = NewMessageId();
  if (!m_stored.sent) {
    if (m_stored.from.empty()) m_stored.from = m_sender;
    m_stored.date = DateNow();
  }
  StoredItem stored = m_stored;
  stored.attachments = m_attachments->ToStored();
  m_store->Add(m_folder, stored);
}

}  // namespace mailhost
