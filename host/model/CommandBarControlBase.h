#pragma once
// The members every control shares, put on top of the button and the
// drop-down interfaces alike.
#include <memory>
#include <string>

#include "host/model/BarLayout.h"
#include "host/model/HostErrors.h"
#include "hostmodel/HostModel.h"

namespace mailhost {

class CommandBarControls;

// Where a control is: asks the collection it belongs to, which knows the bar.
ScreenPoint ControlPosition(const std::weak_ptr<CommandBarControls>& owner,
                            const hostmodel::CommandBarControl* control);

template <typename Base>
class CommandBarControlBase : public Base {
 public:
  CommandBarControlBase(int type, std::weak_ptr<CommandBarControls> owner)
      : m_type(type), m_owner(std::move(owner)) {}

  int Type() override { return m_type; }
  std::string Caption() override { return m_caption; }
  void SetCaption(const std::string& caption) override { m_caption = caption; }
  std::string DescriptionText() override { return m_description; }
  void SetDescriptionText(const std::string& text) override { m_description = text; }
  bool Enabled() override { return m_enabled; }
  void SetEnabled(bool enabled) override { m_enabled = enabled; }
  bool Visible() override { return m_visible; }
  void SetVisible(bool visible) override { m_visible = visible; }
  int Width() override { return m_width > 0 ? m_width : NaturalWidth(); }
  void SetWidth(int width) override {
    if (width < 0) throw platform::Error(kInvalidArgument);
    m_width = width;
  }
  std::string OnAction() override { return m_onAction; }
  void SetOnAction(const std::string& action) override { m_onAction = action; }
  int OLEUsage() override { return m_oleUsage; }
  void SetOLEUsage(int usage) override { m_oleUsage = usage; }
  int Left() override { return ControlPosition(m_owner, this).left; }
  int Top() override { return ControlPosition(m_owner, this).top; }

 protected:
  // The width when none was set.
  virtual int NaturalWidth() = 0;

 private:
  int m_type;
  std::weak_ptr<CommandBarControls> m_owner;
  std::string m_caption;
  std::string m_description;
  std::string m_onAction;
  bool m_enabled = true;
  bool m_visible = true;
  int m_width = 0;
  int m_oleUsage = 0;
};

}  // namespace mailhost
