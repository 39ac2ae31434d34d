#include "common/FacePaste.h"

#include "common/AddinFolder.h"
#include "common/Routine.h"
#include "platform/Platform.h"

namespace sonvera {
namespace {

// The clipboard save area.
std::int16_t ClipFormats = 0;
std::string ClipText;
platform::PicturePtr ClipPicture;

}  // namespace

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
