#pragma once
// Runs one command of the scenario language against the host: the one
// dispatcher behind scripts and the console. A command that cannot be done
// throws platform::Error with a message for the person who wrote it.
#include <chrono>
#include <functional>
#include <ostream>
#include <string>

#include "host/commands/ScriptParser.h"
#include "platform/MessageBoxes.h"

namespace mailhost {

class AddinLoader;
class LineWriter;
class MailHost;

struct DispatchSetup {
  std::string baseFolder;          // relative paths in commands start here
  std::string privateAddinFolder;  // "" when the add-in folder is not a private copy
  std::function<void(std::chrono::milliseconds)> wait;
  std::function<void(platform::Answer)> queueAnswer;
};

class CommandDispatcher {
 public:
  CommandDispatcher(MailHost& host, AddinLoader& loader, LineWriter& out, std::ostream& errors,
                    DispatchSetup setup);

  void Run(const Command& command);
  // Loads the add-ins and delivers the connection events (the `start` command).
  void Start();
  // Delivers the shutdown event to the add-ins that were started; once.
  void Shutdown();
  bool Started() const { return m_started; }

  static const char* HelpText();

 private:
  void Registry(const Command& command);
  void Mail(const Command& command);
  void Item(const Command& command);
  void Click(const Command& command);
  void Choose(const Command& command);
  void Clipboard(const Command& command);
  void List();
  void RemoveFile(const std::string& name);
  void MakeAddinFolderReadOnly();
  std::string Resolve(const std::string& path) const;
  const std::string& RequirePrivateFolder() const;

  MailHost& m_host;
  AddinLoader& m_loader;
  LineWriter& m_out;
  std::ostream& m_errors;
  DispatchSetup m_setup;
  bool m_started = false;
  bool m_shutDown = false;
};

}  // namespace mailhost
