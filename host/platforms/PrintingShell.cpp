#include "host/platforms/PrintingShell.h"

#include "host/commands/Printer.h"

namespace mailhost {

int PrintingShell::Open(const std::string& address, const std::string& workingFolder) {
  m_out.Line(FormatOpen(address));
  return m_real.Open(address, workingFolder);
}

}  // namespace mailhost
