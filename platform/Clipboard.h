#pragma once
// The system clipboard with the four formats the add-in saves and restores.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Pictures.h"

namespace platform {

// Format codes as the desktop system numbers them.
constexpr int kCfText = 1;
constexpr int kCfBitmap = 2;
constexpr int kCfDib = 8;
constexpr int kCfRtf = 0xBF01;

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual bool HasFormat(int format) const = 0;
  // The text; with only rich text on the clipboard, its plain text.
  virtual std::string GetText() const = 0;
  virtual PicturePtr GetPicture() const = 0;  // null when there is none
  // Each Set adds its format and keeps the others, as on the original system
  // between one open and close; Clear empties all.
  virtual void SetText(const std::string& text) = 0;
  virtual void SetPicture(PicturePtr picture) = 0;  // offers bitmap and DIB
  virtual void SetRichText(const std::string& rtf, const std::string& plainText) = 0;
  virtual void Clear() = 0;
  // The plain text that came with the rich text, or "".
  virtual std::string GetRichPlainText() const = 0;
};

}  // namespace platform
