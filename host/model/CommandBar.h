#pragma once
#include <memory>
#include <string>

#include "host/model/BarLayout.h"
#include "hostmodel/HostModel.h"

namespace mailhost {

class CommandBars;
class CommandBarControls;

class CommandBar : public hostmodel::CommandBar, public std::enable_shared_from_this<CommandBar> {
 public:
  static std::shared_ptr<CommandBar> Create(const std::string& name, bool temporary,
                                            std::weak_ptr<CommandBars> owner);

  std::string Name() override { return m_name; }
  hostmodel::Ref<hostmodel::CommandBarControls> Controls() override;
  // A new bar is hidden until someone shows it.
  bool Visible() override { return m_visible; }
  void SetVisible(bool visible) override { m_visible = visible; }
  bool Enabled() override { return m_enabled; }
  void SetEnabled(bool enabled) override { m_enabled = enabled; }
  int Protection() override { return m_protection; }
  void SetProtection(int protection) override { m_protection = protection; }

  bool Temporary() const { return m_temporary; }
  const std::shared_ptr<CommandBarControls>& ControlList() const { return m_controls; }
  // Screen position of the bar's first control.
  ScreenPoint Origin();

 private:
  CommandBar(const std::string& name, bool temporary, std::weak_ptr<CommandBars> owner);

  std::string m_name;
  bool m_temporary;
  std::weak_ptr<CommandBars> m_owner;
  std::shared_ptr<CommandBarControls> m_controls;
  bool m_visible = false;
  bool m_enabled = true;
  int m_protection = 0;
};

}  // namespace mailhost
