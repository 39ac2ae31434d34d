#pragma once
// A sent mail as a store holds it, every field filled in.
#include <string>

#include "host/store/MailStore.h"
#include "hostmodel/HostModel.h"

namespace testsupport {

inline mailhost::StoredItem StoredMail(const std::string& id, const std::string& subject) {
  mailhost::StoredItem item;
  item.id = id;
  item.itemClass = hostmodel::kOlMail;
  item.subject = subject;
  item.body = "Hello,\r\n\r\nsee you at noon.\r\n";
  item.from = "Anna Berg <anna@example.com>";
  item.to = "Bob Lind <bob@example.com>";
  item.date = "Tue, 05 Mar 2024 10:00:00 +0100";
  item.messageId = id + "@example.com";
  item.sent = true;
  return item;
}

}  // namespace testsupport
