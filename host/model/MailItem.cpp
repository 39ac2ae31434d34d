#include "host/model/MailItem.h"

#include "host/model/Attachments.h"
#include "host/model/GuardedFire.h"

namespace mailhost {

std::shared_ptr<MailItem> MailItem::Create(MailStore& store, const std::string& folder,
                                           const StoredItem& stored) {
  std::shared_ptr<MailItem> mail(new MailItem(store, folder, stored));
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

MailItem::MailItem(MailStore& store, const std::string& folder, const StoredItem& stored)
    : m_store(store), m_folder(folder), m_stored(stored) {
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
  if (m_stored.read) return;
  m_stored.read = true;
  m_store.MarkRead(m_stored.id);
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
  outgoing.sent = true;
  outgoing.read = true;
  return outgoing;
}

void MailItem::Filed(const StoredItem& sent, const std::string& folder) {
  m_stored = sent;
  m_stored.attachments.clear();
  m_folder = folder;
}

void MailItem::Store() {
  StoredItem stored = m_stored;
  stored.attachments = m_attachments->ToStored();
  m_store.Add(m_folder, stored);
}

}  // namespace mailhost
