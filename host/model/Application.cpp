#include "host/model/Application.h"

namespace mailhost {

Application::Application(hostmodel::Ref<hostmodel::Inspectors> inspectors,
                         hostmodel::Ref<hostmodel::Explorer> explorer, std::function<void()> quit)
    : m_inspectors(std::move(inspectors)),
      m_explorer(std::move(explorer)),
      m_quit(std::move(quit)) {}

void Application::Quit() {
  if (m_quit) m_quit();
}

}  // namespace mailhost
