#include "host/model/Explorer.h"

#include "host/model/GuardedFire.h"
#include "host/model/Selection.h"

namespace mailhost {

Explorer::Explorer(std::shared_ptr<CommandBars> bars, hostmodel::Ref<hostmodel::Folder> folder)
    : m_bars(std::move(bars)), m_folder(std::move(folder)) {}

hostmodel::Ref<hostmodel::Selection> Explorer::GetSelection() {
  return std::make_shared<Selection>(m_selected);
}

void Explorer::ShowFolder(hostmodel::Ref<hostmodel::Folder> folder) {
  m_folder = std::move(folder);
  m_selected.clear();
  FireGuarded("SelectionChange", SelectionChange);
}

void Explorer::Select(std::vector<hostmodel::Ref<hostmodel::Item>> items) {
  m_selected = std::move(items);
  FireGuarded("SelectionChange", SelectionChange);
}

}  // namespace mailhost
