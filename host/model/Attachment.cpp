#include "host/model/Attachment.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "host/model/Attachments.h"
#include "platform/Error.h"

namespace mailhost {

Attachment::Attachment(std::string fileName, std::vector<std::uint8_t> bytes,
                       std::weak_ptr<Attachments> owner, bool message)
    : m_fileName(std::move(fileName)),
      m_bytes(std::move(bytes)),
      m_owner(std::move(owner)),
      m_message(message) {}

int Attachment::Index() {
  auto owner = m_owner.lock();
  return owner ? owner->IndexOf(this) : 0;
}

void Attachment::SaveAsFile(const std::string& path) {
  if (auto owner = m_owner.lock(); owner && !owner->Gone().empty())
    throw platform::Error(owner->Gone());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out)
    out.write(reinterpret_cast<const char*>(m_bytes.data()),
              static_cast<std::streamsize>(m_bytes.size()));
  if (out) out.close();
  if (!out) {
    throw platform::Error("Cannot save the attachment to " + path + ". " + std::strerror(errno) +
                          ".");
  }
}

}  // namespace mailhost
