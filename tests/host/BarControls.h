#pragma once
// Controls put on a bar the way an add-in puts them, for the host's tests.
#include <memory>
#include <string>

#include "host/model/CommandBar.h"
#include "host/model/CommandBarButton.h"
#include "platform/Pictures.h"

namespace mailhost {

inline hostmodel::Ref<hostmodel::CommandBarButton> AddButton(
    const hostmodel::Ref<hostmodel::CommandBar>& bar, const std::string& caption, int width = 0) {
  auto button = std::dynamic_pointer_cast<hostmodel::CommandBarButton>(
      bar->Controls()->Add(hostmodel::kMsoControlButton, 0, "", 0, true));
  button->SetCaption(caption);
  if (width > 0) button->SetWidth(width);
  return button;
}

inline hostmodel::Ref<hostmodel::CommandBarComboBox> AddList(
    const hostmodel::Ref<hostmodel::CommandBar>& bar) {
  return std::dynamic_pointer_cast<hostmodel::CommandBarComboBox>(
      bar->Controls()->Add(hostmodel::kMsoControlDropdown, 0, "", 0, true));
}

// A button face as pasted from a bitmap file.
inline platform::PicturePtr Face(const std::string& file) {
  auto picture = std::make_shared<platform::Picture>();
  picture->sourceFile = file;
  return picture;
}

}  // namespace mailhost
