#pragma once
#include <memory>

#include "host/model/CommandBarControlBase.h"
#include "platform/Clipboard.h"

namespace mailhost {

class CommandBarButton : public CommandBarControlBase<hostmodel::CommandBarButton>,
                         public std::enable_shared_from_this<CommandBarButton> {
 public:
  explicit CommandBarButton(std::weak_ptr<CommandBarControls> owner);

  int Style() override { return m_style; }
  void SetStyle(int style) override { m_style = style; }
  void PasteFace() override;

  // The picture shown on the button, null for none.
  platform::PicturePtr Face() const { return m_face; }
  // The user clicks: every handler sees the same cancel flag.
  void Press();

 protected:
  int NaturalWidth() override;

 private:
  int m_style = 0;
  platform::PicturePtr m_face;
};

}  // namespace mailhost
