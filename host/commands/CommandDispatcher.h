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
  // Plays a WAV file as the microphone; unset where the microphone is real.
  std::function<void(const std::string&)> microphone;
};

class CommandDispatcher {
 public:
  CommandDispatcher(MailHost& host, AddinLoader& loader, LineWriter& out, std::ostream& errors,
                    DispatchSetup setup);

  // Runs a command the parser accepted (its name is in the command table).
  void Run(const Command& command);
  // Loads the add-ins and delivers the connection events (the `start` command).
  void Start(const Command& = {});
  // Delivers the shutdown event to the add-ins that were started; once.
  void Shutdown();
  bool Started() const { return m_started; }

  // One per command of the table (host/commands/CommandTable.cpp).
  void ShowFolder(const Command& command);
  void ShowFolders(const Command& command);
  void Select(const Command& command);
  void NewMail(const Command& command);
  void Open(const Command& command);
  void Activate(const Command& command);
  void Deactivate(const Command& command);
  void Close(const Command& command);
  void Click(const Command& command);
  void Choose(const Command& command);
  void Microphone(const Command& command);
  void ShowForms(const Command& command);
  void FormClick(const Command& command);
  void FormChoose(const Command& command);
  void Attach(const Command& command);
  void Send(const Command& command);
  void To(const Command& command);
  void Subject(const Command& command);
  void Body(const Command& command);
  void Show(const Command& command);
  void ShowMail(const Command& command);
  void Mail(const Command& command);
  void Item(const Command& command);
  void AddBar(const Command& command);
  void Answer(const Command& command);
  void Wait(const Command& command);
  void SetClipboard(const Command& command);
  void ShowClipboard(const Command& command);
  void Registry(const Command& command);
  void RemoveFile(const Command& command);
  void MakeAddinFolderReadOnly(const Command& command);
  void List(const Command& command);
  void Help(const Command& command);
  void Quit(const Command& command);
  // Commands whose subsystem this build does not have yet.

 private:
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
