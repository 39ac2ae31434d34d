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

namespace {

constexpr int kUsageError = 2;
constexpr const char* kUsage =
    "usage: mailhost [--data DIR] [--maildir PATH] [--smtp URL --from ADDRESS]\n"
    "                                                  a console on the real platform\n"
    "       mailhost --web PORT [--open] [--data DIR] [--maildir PATH]\n"
    "                [--smtp URL --from ADDRESS]       the page on 127.0.0.1 (PORT 0: any)\n"
    "                [--upload-limit MIB]              files attached from the page (25)\n"
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

}  // namespace

int main(int argc, char** argv) {
  std::string script;
  std::string addin;
  std::string registerLibrary;
  bool unregister = false;
  bool registerAddin = true;
  std::string webPort;
  mailhost::HostOptions host;
  std::string& dataFolder = host.dataFolder;
  bool openBrowser = false;
  std::string uploadLimit;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    auto value = [&](std::string* target) {
      if (i + 1 >= argc) return false;
      *target = argv[++i];
      return true;
    };
    bool ok = true;
    if (option == "--script") {
      ok = value(&script);
    } else if (option == "--data") {
      ok = value(&dataFolder);
    } else if (option == "--addin") {
      ok = value(&addin);
    } else if (option == "--web") {
      ok = value(&webPort) && !webPort.empty() && webPort.size() <= 5 &&
           webPort.find_first_not_of("0123456789") == std::string::npos &&
           std::stoi(webPort) <= 65535;
    } else if (option == "--maildir") {
      ok = value(&host.maildir);
    } else if (option == "--smtp") {
      ok = value(&host.smtpUrl);
    } else if (option == "--from") {
      ok = value(&host.from);
    } else if (option == "--upload-limit") {
      ok = value(&uploadLimit) && !uploadLimit.empty() && uploadLimit.size() <= 4 &&
           uploadLimit.find_first_not_of("0123456789") == std::string::npos &&
           std::stoi(uploadLimit) >= 1;
    } else if (option == "--open") {
      openBrowser = true;
    } else if (option == "--no-register") {
      registerAddin = false;
    } else if (option == "--register" || option == "--unregister") {
      unregister = option == "--unregister";
      ok = value(&registerLibrary);
    } else if (option == "--help" || option == "-h") {
      std::cout << kUsage;
      return 0;
    } else {
      ok = false;
    }
    if (!ok) {
      std::cerr << "mailhost: bad option " << option << "\n" << kUsage;
      return kUsageError;
    }
  }

  if (!registerLibrary.empty()) return Register(registerLibrary, unregister, dataFolder);
  if (!script.empty()) {
    mailhost::ScriptOptions options;
    options.script = script;
    options.dataFolder = dataFolder;
    options.maildir = host.maildir;
    options.registerAddin = registerAddin;
    options.addin = addin;
    return mailhost::ScriptRunner::Run(options, std::cout, std::cerr);
  }
  if (!host.smtpUrl.empty() && host.from.empty()) {
    std::cerr << "mailhost: --smtp needs --from ADDRESS, the sender of the mail" << std::endl;
    return kUsageError;
  }
  if (!webPort.empty()) {
    mailhost::WebOptions options;
    options.host = host;
    options.port = std::stoi(webPort);
    options.openBrowser = openBrowser;
    if (!uploadLimit.empty()) options.limits.uploadBytes = std::stoul(uploadLimit) * 1024 * 1024;
    return mailhost::WebFrontEnd::Run(options, std::cout, std::cerr);
  }
  return mailhost::Console::Run(host, std::cout, std::cerr);
}
