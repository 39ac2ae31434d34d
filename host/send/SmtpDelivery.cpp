#include "host/send/SmtpDelivery.h"

#include <memory>

#include "host/store/MimeMessage.h"

namespace mailhost {

Delivery SmtpDelivery(SmtpConfig config) {
  const auto senders = ParseRecipients(config.from);
  if (!senders.empty()) config.from = senders.front();
  // Made here, on the UI thread, where curl's one-time set-up belongs.
  auto submitter = std::make_shared<const SmtpSubmitter>(std::move(config));
  return [submitter](StoredItem& mail) -> Handover {
    std::string message = WriteMimeMessage(mail);
    // The Sent copy carries the Message-Id and Date the server saw.
    const auto written = ReadMimeMessage(message, false);
    mail.messageId = written.messageId;
    mail.date = written.date;
    auto recipients = ParseRecipients(mail.to);
    return [submitter, recipients = std::move(recipients),
            message = std::move(message)](const std::atomic<bool>& stop) {
      const auto result = submitter->Submit(recipients, message, &stop);
      return result.sent ? std::string() : result.error;
    };
  };
}

}  // namespace mailhost
