#include "host/model/CommandBar.h"

#include "host/model/CommandBarControls.h"
#include "host/model/CommandBars.h"
#include "host/model/HostErrors.h"

namespace mailhost {

std::shared_ptr<CommandBar> CommandBar::Create(const std::string& name, bool temporary,
                                               std::weak_ptr<CommandBars> owner) {
  std::shared_ptr<CommandBar> bar(new CommandBar(name, temporary, std::move(owner)));
  bar->m_controls = std::make_shared<CommandBarControls>(bar);
  return bar;
}

CommandBar::CommandBar(const std::string& name, bool temporary, std::weak_ptr<CommandBars> owner)
    : m_name(name), m_temporary(temporary), m_owner(std::move(owner)) {}

hostmodel::Ref<hostmodel::CommandBarControls> CommandBar::Controls() {
  return m_controls;
}

ScreenPoint CommandBar::Origin() {
  auto owner = m_owner.lock();
  if (!owner) throw platform::Error(kObjectDeleted);
  return owner->OriginOf(this);
}

}  // namespace mailhost
