#pragma once
#include <functional>
#include <memory>

#include "hostmodel/HostModel.h"

namespace mailhost {

class Application : public hostmodel::Application,
                    public std::enable_shared_from_this<Application> {
 public:
  Application(hostmodel::Ref<hostmodel::Inspectors> inspectors,
              hostmodel::Ref<hostmodel::Explorer> explorer, std::function<void()> quit);

  hostmodel::Ref<hostmodel::Inspectors> GetInspectors() override { return m_inspectors; }
  hostmodel::Ref<hostmodel::Explorer> ActiveExplorer() override { return m_explorer; }
  hostmodel::Ref<hostmodel::Application> GetApplication() override { return shared_from_this(); }
  // Only asks: the host ends after the command in progress.
  void Quit() override;

 private:
  hostmodel::Ref<hostmodel::Inspectors> m_inspectors;
  hostmodel::Ref<hostmodel::Explorer> m_explorer;
  std::function<void()> m_quit;
};

}  // namespace mailhost
