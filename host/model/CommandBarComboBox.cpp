#include "host/model/CommandBarComboBox.h"

#include "host/model/HostErrors.h"

namespace mailhost {

CommandBarComboBox::CommandBarComboBox(int type, std::weak_ptr<CommandBarControls> owner)
    : CommandBarControlBase(type, std::move(owner)) {}

void CommandBarComboBox::AddItem(const std::string& text) {
  m_entries.push_back(text);
}

void CommandBarComboBox::Clear() {
  m_entries.clear();
  m_listIndex = 0;
}

std::string CommandBarComboBox::List(int index) {
  if (index < 1 || index > ListCount()) throw platform::Error(kIndexOutOfBounds);
  return m_entries[index - 1];
}

void CommandBarComboBox::SetListIndex(int index) {
  if (index < 0 || index > ListCount()) throw platform::Error(kIndexOutOfBounds);
  m_listIndex = index;
}

}  // namespace mailhost
