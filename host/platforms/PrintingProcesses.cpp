#include "host/platforms/PrintingProcesses.h"

#include "host/commands/Printer.h"

namespace mailhost {

int PrintingProcesses::Start(const std::string& commandLine, bool minimized) {
  m_out.Line(FormatRun(commandLine));
  return m_real.Start(commandLine, minimized);
}

int PrintingProcesses::StartProgram(const std::vector<std::string>& argv, bool minimized) {
  m_out.Line(FormatRun(platform::JoinCommandLine(argv)));
  return m_real.StartProgram(argv, minimized);
}

}  // namespace mailhost
