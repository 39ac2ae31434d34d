#include "host/model/CommandBarControls.h"

#include "host/model/CommandBar.h"
#include "host/model/CommandBarButton.h"
#include "host/model/CommandBarComboBox.h"
#include "host/model/HostErrors.h"

namespace mailhost {

ScreenPoint ControlPosition(const std::weak_ptr<CommandBarControls>& owner,
                            const hostmodel::CommandBarControl* control) {
  auto controls = owner.lock();
  if (!controls) throw platform::Error(kObjectDeleted);
  return controls->PositionOf(control);
}

CommandBarControls::CommandBarControls(std::weak_ptr<CommandBar> bar) : m_bar(std::move(bar)) {}

hostmodel::Ref<hostmodel::CommandBarControl> CommandBarControls::GetItem(int index) {
  if (index < 1 || index > Count()) throw platform::Error(kIndexOutOfBounds);
  return m_controls[index - 1];
}

hostmodel::Ref<hostmodel::CommandBarControl> CommandBarControls::Add(
    int type, int /*id*/, const std::string& /*parameter*/, int before, bool /*temporary*/) {
  // Controls are never kept across starts, so Temporary changes nothing here.
  hostmodel::Ref<hostmodel::CommandBarControl> control;
  if (type == hostmodel::kMsoControlButton) {
    control = std::make_shared<CommandBarButton>(weak_from_this());
  } else if (type == hostmodel::kMsoControlDropdown) {
    control = std::make_shared<CommandBarComboBox>(type, weak_from_this());
  } else {
    throw platform::Error(kInvalidArgument);
  }
  if (before < 0 || before > Count() + 1) throw platform::Error(kIndexOutOfBounds);
  if (before == 0) {
    m_controls.push_back(control);
  } else {
    m_controls.insert(m_controls.begin() + (before - 1), control);
  }
  return control;
}

ScreenPoint CommandBarControls::PositionOf(const hostmodel::CommandBarControl* control) {
  auto bar = m_bar.lock();
  if (!bar) throw platform::Error(kObjectDeleted);
  ScreenPoint point = bar->Origin();
  for (const auto& other : m_controls) {
    if (other.get() == control) return point;
    if (other->Visible()) point.left += other->Width();
  }
  throw platform::Error(kObjectDeleted);
}

}  // namespace mailhost
