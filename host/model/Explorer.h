#pragma once
#include <memory>
#include <vector>

#include "host/model/CommandBars.h"
#include "hostmodel/HostModel.h"

namespace mailhost {

// The main window.
class Explorer : public hostmodel::Explorer {
 public:
  Explorer(std::shared_ptr<CommandBars> bars, hostmodel::Ref<hostmodel::Folder> folder);

  hostmodel::Ref<hostmodel::CommandBars> GetCommandBars() override { return m_bars; }
  hostmodel::Ref<hostmodel::Folder> CurrentFolder() override { return m_folder; }
  hostmodel::Ref<hostmodel::Selection> GetSelection() override;

  const std::shared_ptr<CommandBars>& Bars() const { return m_bars; }
  const std::vector<hostmodel::Ref<hostmodel::Item>>& Selected() const { return m_selected; }
  // Shows another folder; its selection starts empty. Fires SelectionChange.
  void ShowFolder(hostmodel::Ref<hostmodel::Folder> folder);
  // Fires SelectionChange.
  void Select(std::vector<hostmodel::Ref<hostmodel::Item>> items);

 private:
  std::shared_ptr<CommandBars> m_bars;
  hostmodel::Ref<hostmodel::Folder> m_folder;
  std::vector<hostmodel::Ref<hostmodel::Item>> m_selected;
};

}  // namespace mailhost
