#pragma once
#include <memory>
#include <vector>

#include "host/model/BarLayout.h"
#include "hostmodel/HostModel.h"

namespace mailhost {

class CommandBar;

class CommandBarControls : public hostmodel::CommandBarControls,
                           public std::enable_shared_from_this<CommandBarControls> {
 public:
  explicit CommandBarControls(std::weak_ptr<CommandBar> bar);

  int Count() override { return static_cast<int>(m_controls.size()); }
  hostmodel::Ref<hostmodel::CommandBarControl> GetItem(int index) override;
  // Buttons (type 1) and drop-down lists (type 3); the host has no other kind.
  hostmodel::Ref<hostmodel::CommandBarControl> Add(int type, int id, const std::string& parameter,
                                                   int before, bool temporary) override;

  // Screen position of one of this collection's controls.
  ScreenPoint PositionOf(const hostmodel::CommandBarControl* control);
  const std::vector<hostmodel::Ref<hostmodel::CommandBarControl>>& All() const {
    return m_controls;
  }

 private:
  std::weak_ptr<CommandBar> m_bar;
  std::vector<hostmodel::Ref<hostmodel::CommandBarControl>> m_controls;
};

}  // namespace mailhost
