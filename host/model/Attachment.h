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
             std::weak_ptr<Attachments> owner);

  std::string FileName() override { return m_fileName; }
  // 0 once the attachment has been removed from its mail.
  int Index() override;
  void SaveAsFile(const std::string& path) override;

  const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }

 private:
  std::string m_fileName;
  std::vector<std::uint8_t> m_bytes;
  std::weak_ptr<Attachments> m_owner;
};

}  // namespace mailhost
