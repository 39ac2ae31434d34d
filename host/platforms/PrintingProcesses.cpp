#include "host/platforms/PrintingProcesses.h"

#include "host/commands/Printer.h"

namespace mailhost {

int PrintingProcesses::Start(const std::string& commandLine, bool minimized) {
  m_out.Line(FormatRun(commandLine));
  return m_real.Start(commandLine, minimized);
}

}  // namespace mailhost
