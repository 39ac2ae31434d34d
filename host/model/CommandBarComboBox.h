#pragma once
#include <string>
#include <vector>

#include "host/model/CommandBarControlBase.h"

namespace mailhost {

class CommandBarComboBox : public CommandBarControlBase<hostmodel::CommandBarComboBox> {
 public:
  CommandBarComboBox(int type, std::weak_ptr<CommandBarControls> owner);

  void AddItem(const std::string& text) override;
  void Clear() override;
  std::string List(int index) override;
  int ListCount() override { return static_cast<int>(m_entries.size()); }
  int ListIndex() override { return m_listIndex; }
  void SetListIndex(int index) override;
  int Style() override { return m_style; }
  void SetStyle(int style) override { m_style = style; }

 protected:
  int NaturalWidth() override { return kDropdownWidth; }

 private:
  std::vector<std::string> m_entries;
  int m_listIndex = 0;
  int m_style = 0;
};

}  // namespace mailhost
