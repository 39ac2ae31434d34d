// mailhost: the mail client that loads the add-ins. Runs a scenario with
// --script, registers a library with --register, or else is a console for a
// person.
#include <cstring>
#include <iostream>
#include <string>

#include "host/console/Console.h"
#include "host/loader/AddinLoader.h"
#include "host/platforms/Integrations.h"
#include "host/script/ScriptRunner.h"
#include "host/setup/UserData.h"
#include "host/web/WebFrontEnd.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxIntegration.h"
#include "platform/page/PageSound.h"

namespace {

constexpr int kUsageError = 2;
constexpr const char* kUsage =
    "usage: mailhost [--data DIR] [--maildir PATH] [--smtp URL --from ADDRESS]\n"
    "                                                  a console on the real platform\n"
    "       mailhost --web PORT [--open] [--data DIR] [--maildir PATH]\n"
    "                [--smtp URL --from ADDRESS]       the page on 127.0.0.1 (PORT 0: any)\n"
    "                [--upload-limit MIB]              files attached from the page (25)\n"
    "                [--sound page|alsa]               the page's microphone and speaker\n"
    "                                                  (page), or this machine's (alsa)\n"
    "       mailhost --script FILE [--data DIR] [--no-register] [--addin LIB]\n"
    "                [--maildir PATH]                  played on that Maildir, not in memory\n"
    "       mailhost --register LIB | --unregister LIB [--data DIR]\n";

int Register(const std::string& library, bool unregister, const std::string& dataFolder) {
  auto platform = mailhost::CreateIntegration(platform::LinuxIntegration::kName,
                                              mailhost::RegistryFileIn(dataFolder));
  platform->SetNoticeSink(
      [](const std::string& note) { std::cerr << "mailhost: note " << note << std::endl; });
  platform::ScopedInstall install(*platform);
  return mailhost::AddinLoader::Register(library, unregister, std::cerr) ? 0 : 1;
}

// What the command line asks for.
struct Arguments {
  std::string script;
  std::string addin;
  std::string registerLibrary;
  bool unregister = false;
  bool registerAddin = true;
  std::string webPort;
  mailhost::HostOptions host;
  bool openBrowser = false;
  std::string uploadLimit;
  bool help = false;
};

// Digits only, at least one and at most `most`.
bool IsNumber(const std::string& text, std::size_t most) {
  return !text.empty() && text.size() <= most &&
         text.find_first_not_of("0123456789") == std::string::npos;
}

// False at the first option that is unknown or lacks its value, named in
// `bad`; parsing stops at --help.
bool Parse(int argc, char** argv, Arguments* args, std::string* bad) {
  for (int i = 1; i < argc && !args->help; ++i) {
    const std::string option = argv[i];
    auto value = [&](std::string* target) {
      if (i + 1 >= argc) return false;
      *target = argv[++i];
      return true;
    };
    bool ok = true;
    if (option == "--script") {
      ok = value(&args->script);
    } else if (option == "--data") {
      ok = value(&args->host.dataFolder);
    } else if (option == "--addin") {
      ok = value(&args->addin);
    } else if (option == "--web") {
      ok = value(&args->webPort) && IsNumber(args->webPort, 5) && std::stoi(args->webPort) <= 65535;
    } else if (option == "--maildir") {
      ok = value(&args->host.maildir);
    } else if (option == "--smtp") {
      ok = value(&args->host.smtpUrl);
    } else if (option == "--from") {
      ok = value(&args->host.from);
    } else if (option == "--sound") {
      ok = value(&args->host.sound);
    } else if (option == "--upload-limit") {
      ok = value(&args->uploadLimit) && IsNumber(args->uploadLimit, 4) &&
           std::stoi(args->uploadLimit) >= 1;
    } else if (option == "--open") {
      args->openBrowser = true;
    } else if (option == "--no-register") {
      args->registerAddin = false;
    } else if (option == "--register" || option == "--unregister") {
      args->unregister = option == "--unregister";
      ok = value(&args->registerLibrary);
    } else if (option == "--help" || option == "-h") {
      args->help = true;
    } else {
      ok = false;
    }
    if (!ok) {
      *bad = option;
      return false;
    }
  }
  return true;
}

int RunScript(const Arguments& args) {
  mailhost::ScriptOptions options;
  options.script = args.script;
  options.dataFolder = args.host.dataFolder;
  options.maildir = args.host.maildir;
  options.registerAddin = args.registerAddin;
  options.addin = args.addin;
  return mailhost::ScriptRunner::Run(options, std::cout, std::cerr);
}

int RunPage(const Arguments& args) {
  mailhost::WebOptions options;
  options.host = args.host;
  if (options.host.sound.empty()) options.host.sound = platform::PageSound::kName;
  options.port = std::stoi(args.webPort);
  options.openBrowser = args.openBrowser;
  if (!args.uploadLimit.empty())
    options.limits.uploadBytes = std::stoul(args.uploadLimit) * 1024 * 1024;
  return mailhost::WebFrontEnd::Run(options, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (std::string bad; !Parse(argc, argv, &args, &bad)) {
    std::cerr << "mailhost: bad option " << bad << "\n" << kUsage;
    return kUsageError;
  }
  if (args.help) {
    std::cout << kUsage;
    return 0;
  }
  if (!args.registerLibrary.empty())
    return Register(args.registerLibrary, args.unregister, args.host.dataFolder);
  if (!args.script.empty()) {
    // Scenarios keep their own deterministic devices.
    if (!args.host.sound.empty()) {
      std::cerr << "mailhost: --sound is for the console and the page, not --script" << std::endl;
      return kUsageError;
    }
    return RunScript(args);
  }
  if (args.host.sound == platform::PageSound::kName && args.webPort.empty()) {
    std::cerr << "mailhost: --sound page needs the page: --web PORT" << std::endl;
    return kUsageError;
  }
  if (!args.host.smtpUrl.empty() && args.host.from.empty()) {
    std::cerr << "mailhost: --smtp needs --from ADDRESS, the sender of the mail" << std::endl;
    return kUsageError;
  }
  if (!args.webPort.empty()) return RunPage(args);
  return mailhost::Console::Run(args.host, std::cout, std::cerr);
}
