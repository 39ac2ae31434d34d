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
    : m_store(store),
      m_folder(folder),
      m_id(stored.id),
      m_subject(stored.subject),
      m_body(stored.body),
      m_sent(stored.sent) {}

hostmodel::Ref<hostmodel::Attachments> MailItem::GetAttachments() {
  return m_attachments;
}

void MailItem::SetBody(const std::string& body) {
  m_body = body;
  Store();
}

void MailItem::SetSubject(const std::string& subject) {
  m_subject = subject;
  Store();
}

bool MailItem::DoSend(const std::string& sentFolder) {
  bool cancel = false;
  FireGuarded("Send", Send, cancel);
  if (cancel) return false;
  m_sent = true;
  Store();
  m_store.Move(m_id, sentFolder);
  m_folder = sentFolder;
  return true;
}

void MailItem::Store() {
  StoredItem stored;
  stored.id = m_id;
  stored.itemClass = hostmodel::kOlMail;
  stored.subject = m_subject;
  stored.body = m_body;
  stored.sent = m_sent;
  stored.attachments = m_attachments->ToStored();
  m_store.Add(m_folder, stored);
}

}  // namespace mailhost
