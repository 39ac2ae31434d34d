#pragma once
// What the user would see of the add-in's actions outside the host: each
// program it starts and each address it opens becomes an output line, then
// goes on to the platform's own service.
#include "host/commands/LineWriter.h"
#include "host/platforms/PrintingProcesses.h"
#include "host/platforms/PrintingShell.h"
#include "platform/Platform.h"

namespace mailhost {

class PrintedActions {
 public:
  // Wraps the processes and the shell of `services` in place.
  PrintedActions(platform::Services& services, LineWriter& out)
      : m_processes(*services.processes, out), m_shell(*services.shell, out) {
    services.processes = &m_processes;
    services.shell = &m_shell;
  }
  PrintedActions(const PrintedActions&) = delete;
  PrintedActions& operator=(const PrintedActions&) = delete;

 private:
  PrintingProcesses m_processes;
  PrintingShell m_shell;
};

}  // namespace mailhost
