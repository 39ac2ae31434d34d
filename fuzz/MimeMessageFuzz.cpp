// Feeds arbitrary bytes to the message reader of the mail store. Whatever it
// makes of them must be clean (valid UTF-8, base names only), the same whether
// or not the attachments' bytes are read, and must survive being written out
// and read back with every attachment intact.
#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "host/store/MimeMessage.h"

namespace {

bool Clean(const std::string& text) {
  return g_utf8_validate(text.data(), text.size(), nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto item = mailhost::ReadMimeMessage(bytes);
  const auto summary = mailhost::ReadMimeMessage(bytes, false);
  if (!Clean(item.subject) || !Clean(item.from) || !Clean(item.to) || !Clean(item.date) ||
      !Clean(item.body) || !Clean(item.messageId))
    std::abort();
  if (summary.attachments.size() != item.attachments.size()) std::abort();
  for (std::size_t i = 0; i < item.attachments.size(); ++i) {
    const auto& name = item.attachments[i].fileName;
    if (name.empty() || !Clean(name) || name.find_first_of("/\\") != std::string::npos)
      std::abort();
    if (summary.attachments[i].fileName != name || !summary.attachments[i].bytes.empty())
      std::abort();
  }

  const auto again = mailhost::ReadMimeMessage(mailhost::WriteMimeMessage(item));
  if (again.attachments.size() != item.attachments.size()) std::abort();
  for (std::size_t i = 0; i < item.attachments.size(); ++i) {
    if (again.attachments[i].bytes != item.attachments[i].bytes) std::abort();
  }
  return 0;
}
