#pragma once
// The clipboard of the host's own desktop: on this system mailhost is the
// desktop, so this in-memory clipboard is the real one.
#include "platform/Clipboard.h"

namespace platform {

class MemoryClipboard : public Clipboard {
 public:
  bool HasFormat(int format) const override;
  std::string GetText() const override;
  PicturePtr GetPicture() const override { return m_picture; }
  void SetText(const std::string& text) override;
  void SetPicture(PicturePtr picture) override { m_picture = std::move(picture); }
  void SetRichText(const std::string& rtf, const std::string& plainText) override;
  void Clear() override;
  std::string GetRichPlainText() const override { return m_rtfPlain; }

 private:
  bool m_hasText = false;
  std::string m_text;
  PicturePtr m_picture;
  bool m_hasRtf = false;
  std::string m_rtf;
  std::string m_rtfPlain;
};

}  // namespace platform
