#pragma once
// The system clipboard with the four formats the add-in saves and restores,
// and pictures loaded from bitmap files.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Format codes as the desktop system numbers them.
constexpr int kCfText = 1;
constexpr int kCfBitmap = 2;
constexpr int kCfDib = 8;
constexpr int kCfRtf = 0xBF01;

struct Picture {
  std::string sourceFile;  // the file it was loaded from, for display
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bytes;  // the whole bitmap file
};
using PicturePtr = std::shared_ptr<const Picture>;

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

class Pictures {
 public:
  virtual ~Pictures() = default;
  // Loads a bitmap file; throws platform::Error ("File not found: PATH",
  // "Invalid picture: PATH").
  virtual PicturePtr Load(const std::string& path) = 0;
};

}  // namespace platform
