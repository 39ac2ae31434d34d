#pragma once
// Shows each address the add-in asks the shell to open, then passes it on.
#include "host/commands/LineWriter.h"
#include "platform/Shell.h"

namespace mailhost {

class PrintingShell : public platform::Shell {
 public:
  PrintingShell(platform::Shell& real, LineWriter& out) : m_real(real), m_out(out) {}
  int Open(const std::string& address, const std::string& workingFolder) override;

 private:
  platform::Shell& m_real;
  LineWriter& m_out;
};

}  // namespace mailhost
