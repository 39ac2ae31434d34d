// Feeds arbitrary bytes to the folder names of a Maildir as another program
// may have written them. What the host shows must be clean (valid UTF-8 without
// control characters, and no '/' but between the parts of a nested name), and
// a name that decodes must be the one encoding of what it decodes to.
#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/store/MaildirTree.h"
#include "host/store/ModifiedUtf7.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (const auto decoded = mailhost::DecodeModifiedUtf7(bytes)) {
    if (!g_utf8_validate(decoded->data(), static_cast<gssize>(decoded->size()), nullptr))
      std::abort();
    if (mailhost::EncodeModifiedUtf7(*decoded) != bytes) std::abort();
  }
  if (bytes.find('/') != std::string::npos || bytes.find('\0') != std::string::npos) return 0;
  const std::string name = mailhost::MaildirTree::NameOf(bytes);
  if (!g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr)) std::abort();
  for (const char* p = name.c_str(); *p; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    if (c < 0x20 || (c >= 0x7f && c < 0xa0)) std::abort();
  }
  // A part of the name is a part on disk: as many parts, none of them empty.
  if (!name.empty()) {
    std::size_t slashes = 0, dots = 0;
    for (char c : name) slashes += c == '/';
    for (char c : bytes) dots += c == '.';
    if (slashes != dots || name.front() == '/' || name.back() == '/' ||
        name.find("//") != std::string::npos)
      std::abort();
  }
  return 0;
}
