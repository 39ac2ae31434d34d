#include "platform/common/MemoryClipboard.h"

namespace platform {

bool MemoryClipboard::HasFormat(int format) const {
  switch (format) {
    case kCfText:
      return m_hasText;
    case kCfBitmap:
    case kCfDib:
      return m_picture != nullptr;
    case kCfRtf:
      return m_hasRtf;
    default:
      return false;
  }
}

std::string MemoryClipboard::GetText() const {
  if (m_hasText) return m_text;
  return m_hasRtf ? m_rtfPlain : std::string();
}

void MemoryClipboard::SetText(const std::string& text) {
  m_hasText = true;
  m_text = text;
}

void MemoryClipboard::SetRichText(const std::string& rtf, const std::string& plainText) {
  m_hasRtf = true;
  m_rtf = rtf;
  m_rtfPlain = plainText;
}

void MemoryClipboard::Clear() {
  *this = MemoryClipboard();
}

}  // namespace platform
