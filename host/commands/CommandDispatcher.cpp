#include "host/commands/CommandDispatcher.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/commands/CommandTable.h"
#include "host/commands/LineWriter.h"
#include "host/commands/Printer.h"
#include "host/loader/AddinFolder.h"
#include "host/loader/AddinLoader.h"
#include "host/model/Application.h"
#include "host/model/CommandBar.h"
#include "host/model/CommandBarButton.h"
#include "host/model/CommandBarComboBox.h"
#include "host/model/CommandBarControls.h"
#include "host/model/CommandBars.h"
#include "host/model/Explorer.h"
#include "host/model/MailHost.h"
#include "host/model/MailItem.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;

namespace mailhost {
namespace {

platform::HKey RequireCreated(const std::string& key) {
  platform::HKey handle = 0;
  const auto status = platform::GetRegistry().CreateKey(platform::kHkeyCurrentUser, key, &handle);
  if (status != platform::kErrorSuccess) {
    throw platform::Error("Cannot create the registry key " + key + " (error " +
                          std::to_string(status) + ").");
  }
  return handle;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::error_code ec;
  if (!in || !fs::is_regular_file(path, ec)) throw platform::Error("Cannot read " + path + ".");
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>());
}

bool IsPosition(const std::string& word) {
  return word.size() > 1 && word[0] == '#' &&
         word.find_first_not_of("0123456789", 1) == std::string::npos;
}

}  // namespace

CommandDispatcher::CommandDispatcher(MailHost& host, AddinLoader& loader, LineWriter& out,
                                     std::ostream& errors, DispatchSetup setup)
    : m_host(host), m_loader(loader), m_out(out), m_errors(errors), m_setup(std::move(setup)) {}

void CommandDispatcher::Run(const Command& command) {
  const CommandSpec* spec = FindCommand(command.name);
  if (!spec) throw platform::Error("unknown command: " + command.name);
  (this->*spec->run)(command);
}

void CommandDispatcher::ShowFolder(const Command& command) {
  m_host.ShowFolder(command.args[0]);
}

void CommandDispatcher::ShowFolders(const Command&) {
  for (const auto& folder : m_host.Store().Folders()) m_out.Line("folder " + folder.name);
}

void CommandDispatcher::Select(const Command& command) {
  m_host.Select(command.args);
}

void CommandDispatcher::NewMail(const Command& command) {
  m_host.NewMail(command.args[0]);
}

void CommandDispatcher::Open(const Command& command) {
  m_host.Open(command.args[0], command.args[1]);
}

void CommandDispatcher::Activate(const Command& command) {
  m_host.Activate(command.args[0]);
}

void CommandDispatcher::Deactivate(const Command& command) {
  m_host.Deactivate(command.args[0]);
}

void CommandDispatcher::Close(const Command& command) {
  m_host.Close(command.args[0]);
}

void CommandDispatcher::Attach(const Command& command) {
  m_host.Attach(command.args[0], Resolve(command.args[1]));
}

void CommandDispatcher::Send(const Command& command) {
  m_host.Send(command.args[0]);
}

void CommandDispatcher::To(const Command& command) {
  m_host.WrittenMail(command.args[0])->SetTo(command.args[1]);
}

void CommandDispatcher::Subject(const Command& command) {
  m_host.WrittenMail(command.args[0])->SetSubject(command.args[1]);
}

void CommandDispatcher::Body(const Command& command) {
  std::string body;
  for (std::size_t i = 1; i < command.args.size(); ++i) {
    if (i > 1) body += "\r\n";
    body += command.args[i];
  }
  m_host.WrittenMail(command.args[0])->SetBody(body);
}

void CommandDispatcher::Show(const Command& command) {
  m_out.Line(FormatBar(command.args[0], *m_host.BarsOf(command.args[0])));
}

void CommandDispatcher::ShowMail(const Command& command) {
  m_out.Line(FormatMail(command.args[0], *m_host.FindMail(command.args[0])));
}

void CommandDispatcher::AddBar(const Command& command) {
  m_host.BarsOf(command.args[0])->Add(command.args[1], hostmodel::kMsoBarTop, false, true);
}

void CommandDispatcher::Answer(const Command& command) {
  // The table has checked each word.
  for (const auto& word : command.args)
    m_setup.queueAnswer(AnswerNamed(word).value_or(platform::Answer::Ok));
}

void CommandDispatcher::Wait(const Command& command) {
  m_setup.wait(*ScriptParser::ParseDuration(command.args[0]));
}

void CommandDispatcher::ShowClipboard(const Command&) {
  for (const auto& line : FormatClipboard(platform::GetClipboard())) m_out.Line(line);
}

void CommandDispatcher::Quit(const Command&) {
  m_host.RequestQuit();
}

void CommandDispatcher::Help(const Command& command) {
  m_out.Line(HelpText(command.place));
}

namespace {

platform::DesktopWindows& Desktop() {
  auto* windows = dynamic_cast<platform::DesktopWindows*>(&platform::GetWindows());
  if (!windows) throw platform::Error("This host draws no windows of add-ins.");
  return *windows;
}

}  // namespace

void CommandDispatcher::Microphone(const Command& command) {
  if (!m_setup.microphone) throw platform::Error("The microphone here is the machine's own.");
  m_setup.microphone(Resolve(command.args[0]));
}

void CommandDispatcher::ShowForms(const Command&) {
  const auto shown = Desktop().Shown();
  if (shown.empty()) m_out.Line("form none");
  for (const auto& form : shown) m_out.Line(FormatForm(*form));
}

void CommandDispatcher::FormClick(const Command& command) {
  Desktop().Click(command.args[0], command.args[1]);
}

void CommandDispatcher::FormChoose(const Command& command) {
  Desktop().Choose(command.args[0], command.args[1], command.args[2]);
}

// What a person at the console needs to find ids for select and open.
void CommandDispatcher::List(const Command&) {
  const std::string folder = m_host.MainExplorer()->CurrentFolder()->Name();
  const auto items = m_host.Store().Summaries(folder);
  if (items.empty()) m_out.Line("list " + folder + ": empty");
  for (const auto& item : items) {
    std::string line = "item " + item.id;
    if (item.itemClass != hostmodel::kOlMail) {
      line += item.itemClass == hostmodel::kOlContact ? " contact" : " appointment";
    } else {
      line += item.sent ? " sent" : "";
      line += " subject=" + Quote(item.subject);
      line += " attachments=" + std::to_string(item.attachments.size());
    }
    m_out.Line(line);
  }
}

void CommandDispatcher::Start(const Command&) {
  if (m_started) throw platform::Error("The host has been started already.");
  m_started = true;
  m_loader.Connect(m_host.App(), m_errors);
  m_loader.StartupComplete(m_errors);
}

void CommandDispatcher::Shutdown() {
  if (!m_started || m_shutDown) return;
  m_shutDown = true;
  m_loader.Shutdown(m_errors);
}

void CommandDispatcher::Registry(const Command& command) {
  const auto& a = command.args;
  const auto& sub = a[0];
  const auto& key = a[1];
  auto& registry = platform::GetRegistry();
  if (sub == "set") {
    const std::string valueName = a[2] == "@" ? "" : a[2];
    std::vector<std::uint8_t> data;
    std::uint32_t type = platform::kRegSz;
    if (a[3] == "dword") {
      type = platform::kRegDword;
      const std::uint32_t number = *ScriptParser::ParseDword(a[4]);
      for (int shift = 0; shift < 32; shift += 8)
        data.push_back(static_cast<std::uint8_t>(number >> shift));
    } else {
      data.assign(a[4].begin(), a[4].end());
      data.push_back(0);
    }
    const auto handle = RequireCreated(key);
    const auto status = registry.SetValue(handle, valueName, type, data.data(),
                                          static_cast<std::uint32_t>(data.size()));
    registry.CloseKey(handle);
    if (status != platform::kErrorSuccess) {
      throw platform::Error("Cannot write " + key + " " + a[2] + " (error " +
                            std::to_string(status) + ").");
    }
  } else if (sub == "delete") {
    // Deleting what is not there leaves the registry as the line wants it.
    if (a.size() == 3) {
      platform::HKey handle = 0;
      if (registry.OpenKey(platform::kHkeyCurrentUser, key, &handle) != platform::kErrorSuccess)
        return;
      registry.DeleteValue(handle, a[2] == "@" ? "" : a[2]);
      registry.CloseKey(handle);
    } else {
      registry.DeleteTree(platform::kHkeyCurrentUser, key);
    }
  } else {
    platform::HKey handle = 0;
    if (registry.OpenKey(platform::kHkeyCurrentUser, key, &handle) != platform::kErrorSuccess) {
      throw platform::Error("The registry key " + key + " does not exist.");
    }
    std::vector<platform::RegValue> values;
    registry.ListValues(handle, &values);
    registry.CloseKey(handle);
    for (const auto& value : values) m_out.Line(FormatRegistryValue(key, value));
  }
}

void CommandDispatcher::Mail(const Command& command) {
  const auto& a = command.args;
  StoredItem item;
  item.id = a[1];
  item.itemClass = hostmodel::kOlMail;
  for (std::size_t i = 2; i < a.size(); ++i) {
    const auto& option = a[i];
    const auto equals = option.find('=');
    const auto value = equals == std::string::npos ? "" : option.substr(equals + 1);
    if (option == "sent") {
      item.sent = true;
    } else if (option.rfind("subject=", 0) == 0) {
      item.subject = value;
    } else if (option.rfind("body=", 0) == 0) {
      item.body = value;
    } else {
      const auto path = Resolve(value);
      item.attachments.push_back({fs::path(path).filename().string(), ReadBytes(path)});
    }
  }
  m_host.AddItem(a[0], item);
}

void CommandDispatcher::Item(const Command& command) {
  StoredItem item;
  item.id = command.args[1];
  item.itemClass = command.args[2] == "contact" ? hostmodel::kOlContact : hostmodel::kOlAppointment;
  m_host.AddItem(command.args[0], item);
}

void CommandDispatcher::Click(const Command& command) {
  const auto& window = command.args[0];
  const auto& wanted = command.args[1];
  auto bar = m_host.BarsOf(window)->Newest();
  if (!bar) throw platform::Error("The window " + window + " has no bar.");
  const auto& controls = bar->ControlList()->All();

  hostmodel::Ref<hostmodel::CommandBarControl> control;
  if (IsPosition(wanted)) {
    const auto position = std::stoul(wanted.substr(1));
    if (position < 1 || position > controls.size()) {
      throw platform::Error("The bar of " + window + " has no control " + wanted + ".");
    }
    control = controls[position - 1];
  } else {
    // The caption as it shows now; a hidden namesake does not stand in the way.
    for (const auto& candidate : controls) {
      if (candidate->Caption() != wanted) continue;
      if (!control || (!control->Visible() && candidate->Visible())) control = candidate;
    }
    if (!control) throw platform::Error("The bar of " + window + " has no control " + wanted + ".");
  }
  if (!bar->Visible()) throw platform::Error("The bar of " + window + " is hidden.");
  if (!control->Visible()) throw platform::Error("The control " + wanted + " is hidden.");
  if (!control->Enabled() || !bar->Enabled()) {
    throw platform::Error("The control " + wanted + " is disabled.");
  }
  auto button = std::dynamic_pointer_cast<CommandBarButton>(control);
  if (!button) throw platform::Error("The control " + wanted + " is not a button.");
  button->Press();
}

void CommandDispatcher::Choose(const Command& command) {
  const auto& window = command.args[0];
  const int position = std::stoi(command.args[1]);
  auto bar = m_host.BarsOf(window)->Newest();
  if (!bar) throw platform::Error("The window " + window + " has no bar.");
  std::shared_ptr<CommandBarComboBox> list;
  for (const auto& control : bar->ControlList()->All()) {
    auto candidate = std::dynamic_pointer_cast<CommandBarComboBox>(control);
    if (candidate && (!list || (!list->Visible() && candidate->Visible()))) list = candidate;
  }
  if (!list) throw platform::Error("The bar of " + window + " has no list.");
  if (!bar->Visible() || !list->Visible())
    throw platform::Error("The list of " + window + " is hidden.");
  if (!bar->Enabled() || !list->Enabled()) {
    throw platform::Error("The list of " + window + " is disabled.");
  }
  if (position > list->ListCount()) {
    throw platform::Error("The list of " + window + " has " + std::to_string(list->ListCount()) +
                          " entries.");
  }
  list->SetListIndex(position);
}

void CommandDispatcher::SetClipboard(const Command& command) {
  auto& clipboard = platform::GetClipboard();
  const auto& text = command.args[1];
  clipboard.Clear();
  if (command.args[0] == "text") {
    clipboard.SetText(text);
    return;
  }
  std::string rtf = "{\\rtf1\\ansi ";
  for (char c : text) {
    if (c == '\\' || c == '{' || c == '}') rtf += '\\';
    if (c == '\n') {
      rtf += "\\par ";
    } else if (c != '\r') {
      rtf += c;
    }
  }
  clipboard.SetRichText(rtf + "}", text);
}

void CommandDispatcher::RemoveFile(const Command& command) {
  const auto& name = command.args[0];
  const auto path = fs::path(RequirePrivateFolder()) / name;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) {
    throw platform::Error("The add-in folder has no file " + name + ".");
  }
  if (!fs::remove(path, ec) || ec) {
    throw platform::Error("Cannot remove " + name + " from the add-in folder: " + ec.message());
  }
}

void CommandDispatcher::MakeAddinFolderReadOnly(const Command&) {
  AddinFolder::MakeReadOnly(RequirePrivateFolder());
}

std::string CommandDispatcher::Resolve(const std::string& path) const {
  if (path.empty() || fs::path(path).is_absolute() || m_setup.baseFolder.empty()) return path;
  return (fs::path(m_setup.baseFolder) / path).lexically_normal().string();
}

const std::string& CommandDispatcher::RequirePrivateFolder() const {
  if (m_setup.privateAddinFolder.empty()) {
    throw platform::Error("Only a private copy of the add-in folder (a script's) may be changed.");
  }
  return m_setup.privateAddinFolder;
}

}  // namespace mailhost
