#include "host/model/CommandBarButton.h"

#include "host/model/GuardedFire.h"
#include "platform/Platform.h"

namespace mailhost {
namespace {
constexpr const char* kNoPictureToPaste = "The clipboard holds no picture to paste as a face.";
}

CommandBarButton::CommandBarButton(std::weak_ptr<CommandBarControls> owner)
    : CommandBarControlBase(hostmodel::kMsoControlButton, std::move(owner)) {}

void CommandBarButton::PasteFace() {
  auto picture = platform::GetClipboard().GetPicture();
  if (!picture) throw platform::Error(kNoPictureToPaste);
  m_face = std::move(picture);
}

void CommandBarButton::Press() {
  bool cancelDefault = false;
  FireGuarded("Click", Click,
              std::static_pointer_cast<hostmodel::CommandBarButton>(shared_from_this()),
              cancelDefault);
}

int CommandBarButton::NaturalWidth() {
  if (m_style == hostmodel::kMsoButtonIcon) return kButtonIconWidth;
  return kButtonIconWidth + kCaptionCharWidth * static_cast<int>(Caption().size());
}

}  // namespace mailhost
