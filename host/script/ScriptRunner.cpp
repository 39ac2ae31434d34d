#include "host/script/ScriptRunner.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

#include "host/commands/CommandDispatcher.h"
#include "host/commands/LineWriter.h"
#include "host/commands/Printer.h"
#include "host/loader/AddinFolder.h"
#include "host/loader/AddinLoader.h"
#include "host/model/MailHost.h"
#include "host/platforms/ScenarioIntegration.h"
#include "host/setup/HostSetup.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;

namespace mailhost {
namespace {

constexpr const char* kAddinFolderName = "addin";
constexpr const char* kRegistryFileName = "registry.reg";
constexpr const char* kNoAnswer = "none";
constexpr const char* kUnansweredBox =
    "a message box had no queued answer, or one that does not fit its buttons";

// The run's data folder; a temporary one goes at the end of the run.
class DataFolder {
 public:
  explicit DataFolder(const std::string& given) : m_temporary(given.empty()) {
    std::error_code ec;
    if (m_temporary) {
      const char* tmp = std::getenv("TMPDIR");
      std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/mailhost.XXXXXX";
      std::vector<char> buffer(pattern.begin(), pattern.end());
      buffer.push_back('\0');
      if (!mkdtemp(buffer.data())) return;
      m_path = buffer.data();
    } else {
      fs::create_directories(given, ec);
      m_path = given;
    }
    auto canonical = fs::canonical(m_path, ec);
    if (ec) {
      m_path.clear();
      return;
    }
    m_path = canonical.string();
  }
  ~DataFolder() {
    if (m_temporary && !m_path.empty()) AddinFolder::Remove(m_path);
  }
  DataFolder(const DataFolder&) = delete;
  DataFolder& operator=(const DataFolder&) = delete;
  const std::string& Path() const { return m_path; }

 private:
  bool m_temporary;
  std::string m_path;
};

std::string ReadAll(const std::string& path, bool* ok) {
  std::ifstream in(path, std::ios::binary);
  std::error_code ec;
  *ok = in.good() && fs::is_regular_file(path, ec);
  if (!*ok) return "";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The folder's absolute path without a '/' at its end; "" stays "".
std::string AbsoluteFolder(const std::string& folder) {
  if (folder.empty()) return folder;
  std::error_code ec;
  auto path = fs::absolute(folder, ec).lexically_normal();
  if (ec) return folder;
  std::string text = path.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

// The script's commands; nothing when it cannot be read or parsed, which is
// said on `errors`.
std::optional<std::vector<Command>> ReadScript(const std::string& script, std::ostream& errors) {
  bool readable = false;
  const std::string text = ReadAll(script, &readable);
  if (!readable) {
    errors << "mailhost: cannot read the script " << script << std::endl;
    return std::nullopt;
  }
  try {
    return ScriptParser::ParseScript(text);
  } catch (const ParseError& e) {
    errors << "mailhost: " << script << ":" << e.Line() << ": " << e.what() << std::endl;
    return std::nullopt;
  }
}

// The add-in the run loads: a copy of the library in the data folder, so that
// what the add-in writes beside itself stays in the run.
struct PrivateAddin {
  std::string folder;  // "" when there is no library
  std::string library;
};

std::optional<PrivateAddin> CopyAddin(const ScriptOptions& options, const std::string& data,
                                      std::ostream& errors) {
  const std::string library = options.addin.empty() ? ScriptRunner::DefaultAddin() : options.addin;
  PrivateAddin addin;
  if (!library.empty()) {
    try {
      addin.folder = data + "/" + kAddinFolderName;
      addin.library = AddinFolder::CopyOf(library, addin.folder);
    } catch (const std::exception& e) {
      errors << "mailhost: " << e.what() << std::endl;
      return std::nullopt;
    }
  } else if (options.registerAddin) {
    errors << "mailhost: no add-in library to register (looked for " << MAILHOST_DEFAULT_ADDIN
           << " and " << MAILHOST_INSTALLED_ADDIN << ")" << std::endl;
    return std::nullopt;
  }
  return addin;
}

std::unique_ptr<HostSetup> OpenHost(const std::string& data, const std::string& maildir,
                                    LineWriter& writer, std::ostream& errors) {
  HostOptions hostOptions;
  hostOptions.platform = ScenarioIntegration::kName;
  hostOptions.registryPath = data + "/" + kRegistryFileName;
  hostOptions.memoryStore = true;  // unless a Maildir is given
  hostOptions.maildir = maildir;
  return HostSetup::Open(hostOptions, writer, errors);
}

// The scenario's hands on the deterministic platform: its boxes printed as
// they come and answered from the queue, its time and its microphone.
FrontEnd ScenarioFrontEnd(ScenarioIntegration& platform, LineWriter& writer,
                          const std::string& script, const std::string& addinFolder) {
  auto& loop = platform.fake.loop;
  auto& boxes = platform.fake.boxes;
  boxes.onShown = [&writer](const platform::ShownBox& box) {
    const std::string answer = box.answered ? mailhost::AnswerName(box.answer) : kNoAnswer;
    for (const auto& line : FormatBox(box.request, answer)) writer.Line(line);
  };
  FrontEnd frontEnd;
  frontEnd.dispatch.baseFolder = fs::absolute(script).parent_path().string();
  frontEnd.dispatch.privateAddinFolder = addinFolder;
  frontEnd.dispatch.wait = [&loop](std::chrono::milliseconds duration) {
    loop.AdvanceBy(duration);
  };
  frontEnd.dispatch.queueAnswer = [&boxes](platform::Answer answer) { boxes.Queue(answer); };
  frontEnd.dispatch.microphone = [&platform](const std::string& path) {
    platform.fake.microphone.Play(path);
  };
  return frontEnd;
}

// Runs the commands in order until the host quits; the first that fails, or
// leaves a box unanswered, ends the run.
int Play(const std::vector<Command>& commands, HostSetup& setup, ScenarioIntegration& platform,
         const LineWriter& writer, const std::string& script, std::ostream& errors) {
  for (const auto& command : commands) {
    if (setup.Host().QuitRequested()) break;
    std::string failure;
    try {
      setup.Dispatcher().Run(command);
      platform.fake.loop.RunPending();
    } catch (const std::exception& e) {
      failure = writer.Hide(e.what());
    }
    if (failure.empty() && platform.fake.boxes.TakeUnanswered() > 0) failure = kUnansweredBox;
    if (!failure.empty()) {
      errors << "mailhost: " << script << ":" << command.line << ": " << command.name << ": "
             << failure << std::endl;
      return kScriptLineFailed;
    }
  }
  return kScriptOk;
}

// The host exits: its add-ins get their shutdown event, whose boxes must have
// had answers too.
int Exit(HostSetup& setup, platform::FakeMessageBoxes& boxes, int status, const std::string& script,
         std::ostream& errors) {
  setup.Shutdown();
  if (status == kScriptOk && boxes.TakeUnanswered() > 0) {
    errors << "mailhost: " << script << ": at exit: " << kUnansweredBox << std::endl;
    status = kScriptLineFailed;
  }
  if (status == kScriptOk && boxes.Queued() > 0) {
    // Not a failure, but most likely a box the scenario expected never came.
    errors << "mailhost: " << script << ": " << boxes.Queued() << " queued answer(s) not used"
           << std::endl;
  }
  return status;
}

}  // namespace

std::string ScriptRunner::DefaultAddin() {
  std::error_code ec;
  for (const char* candidate : {MAILHOST_DEFAULT_ADDIN, MAILHOST_INSTALLED_ADDIN}) {
    if (fs::exists(candidate, ec)) return candidate;
  }
  return "";
}

int ScriptRunner::Run(const ScriptOptions& options, std::ostream& out, std::ostream& errors) {
  const auto commands = ReadScript(options.script, errors);
  if (!commands) return kScriptUnreadable;
  DataFolder data(options.dataFolder);
  if (data.Path().empty()) {
    errors << "mailhost: cannot make the data folder" << std::endl;
    return kScriptLineFailed;
  }
  // Named in full, so that what the run prints can say $MAILDIR for it.
  const std::string maildir = AbsoluteFolder(options.maildir);
  LineWriter writer(out);
  writer.HideFolder(data.Path());
  writer.HideFolder(maildir, kMaildirPlaceholder);
  const auto addin = CopyAddin(options, data.Path(), errors);
  if (!addin) return kScriptLineFailed;

  auto setup = OpenHost(data.Path(), maildir, writer, errors);
  if (!setup) return kScriptLineFailed;
  auto& platform = dynamic_cast<ScenarioIntegration&>(setup->Platform());
  setup->Install(ScenarioFrontEnd(platform, writer, options.script, addin->folder));
  if (options.registerAddin && !AddinLoader::Register(addin->library, false, errors))
    return kScriptLineFailed;
  const int status = Play(*commands, *setup, platform, writer, options.script, errors);
  return Exit(*setup, platform.fake.boxes, status, options.script, errors);
}

}  // namespace mailhost
