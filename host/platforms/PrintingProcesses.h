#pragma once
// Shows each command line the add-in starts, then starts it for real.
#include "host/commands/LineWriter.h"
#include "platform/Processes.h"

namespace mailhost {

class PrintingProcesses : public platform::Processes {
 public:
  PrintingProcesses(platform::Processes& real, LineWriter& out) : m_real(real), m_out(out) {}
  int Start(const std::string& commandLine, bool minimized) override;
  int StartProgram(const std::vector<std::string>& argv, bool minimized) override;
  bool Finished(int pid, platform::ExitStatus* status) override {
    return m_real.Finished(pid, status);
  }
  bool Kill(int pid) override { return m_real.Kill(pid); }
  bool WaitForOpen(int pid, const std::string& path, int timeoutMs) override {
    return m_real.WaitForOpen(pid, path, timeoutMs);
  }

 private:
  platform::Processes& m_real;
  LineWriter& m_out;
};

}  // namespace mailhost
