#include "addin/Utilities.h"

#include "addin/ErrorPrompt.h"
#include "addin/Routine.h"
#include "platform/Platform.h"

namespace sonvera {
namespace {

std::string g_addinFolder;

// The clipboard save area.
std::int16_t ClipFormats = 0;
std::string ClipText;
platform::PicturePtr ClipPicture;

constexpr const char* kCouldNotFind = "Could not find path for ";

}  // namespace

std::string AddinFolder() {
  if (g_addinFolder.empty()) g_addinFolder = platform::ModuleFolderOf(&g_addinFolder);
  return g_addinFolder;
}

void SetAddinFolder(const std::string& folder) {
  g_addinFolder = folder;
}

std::string AddinFile(const std::string& backslashName) {
  std::string name = backslashName;
  if (!name.empty() && name.front() == '\\') name.erase(0, 1);
  return AddinFolder() + platform::kPathSeparator + name;
}

std::string ShortPathOf(const std::string& path) {
  if (auto shortPath = platform::ShortPath(path)) return *shortPath;
  // The pending error was cleared before the lookup, so its description is empty.
  platform::BoxRequest box;
  box.text = std::string("Error ") + kCrLf + kCouldNotFind + path;
  IgnoreErrors([&] { platform::GetBoxes().Show(box); });
  return "";
}

void PutFaceOnClipboard(const std::string& faceFile) {
  auto picture = platform::GetPictures().Load(AddinFile(faceFile));
  platform::GetClipboard().SetPicture(picture);
}

void PreserveClipboard(std::int16_t& mode) {
  IgnoreErrors([&] {
    auto& clip = platform::GetClipboard();
    if (mode == 1) {
      ClipFormats = 0;
      IgnoreErrors([&] { ClipFormats += clip.HasFormat(platform::kCfText) ? 1 : 0; });
      IgnoreErrors([&] { ClipFormats += clip.HasFormat(platform::kCfBitmap) ? 2 : 0; });
      IgnoreErrors([&] { ClipFormats += clip.HasFormat(platform::kCfDib) ? 4 : 0; });
      IgnoreErrors([&] { ClipFormats += clip.HasFormat(platform::kCfRtf) ? 8 : 0; });
      switch (ClipFormats) {
        case 1:
        case 8:
        case 9:
          IgnoreErrors([&] { ClipText = clip.GetText(); });
          break;
        case 2:
        case 4:
        case 6:
          IgnoreErrors([&] { ClipPicture = clip.GetPicture(); });
          break;
        case 3:
        case 5:
        case 7:
          IgnoreErrors([&] { ClipPicture = clip.GetPicture(); });
          IgnoreErrors([&] { ClipText = clip.GetText(); });
          break;
        default:
          break;
      }
      return;
    }
    switch (ClipFormats) {
      case 1:
      case 8:
      case 9:
        IgnoreErrors([&] { clip.SetText(ClipText); });
        break;
      case 2:
      case 4:
      case 6:
        IgnoreErrors([&] { clip.SetPicture(ClipPicture); });
        break;
      case 3:
      case 5:
      case 7:
        IgnoreErrors([&] { clip.SetPicture(ClipPicture); });
        IgnoreErrors([&] { clip.SetText(ClipText); });
        break;
      default:
        break;
    }
  });
}

}  // namespace sonvera
