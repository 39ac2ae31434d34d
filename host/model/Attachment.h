#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hostmodel/HostModel.h"

namespace mailhost {

class Attachments;

class Attachment : public hostmodel::Attachment {
 public:
  Attachment(std::string fileName, std::vector<std::uint8_t> bytes,
             std::weak_ptr<Attachments> owner, bool message = false);

  std::string FileName() override { return m_fileName; }
  // 0 once the attachment has been removed from its mail.
  int Index() override;
  // Throws platform::Error when the file cannot be written, or when the mail
  // is gone from the store (nothing of it is played or saved any more).
  void SaveAsFile(const std::string& path) override;

  const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }
  // An attached mail, which opens in a window of its own.
  bool IsMessage() const { return m_message; }

 private:
  std::string m_fileName;
  std::vector<std::uint8_t> m_bytes;
  std::weak_ptr<Attachments> m_owner;
  bool m_message;
};

}  // namespace mailhost
