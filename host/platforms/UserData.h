#pragma once
// Where a person's run keeps its data: the registry file and the Maildir.
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "host/store/MaildirStore.h"
#include "platform/linux/PollEventLoop.h"

#include "platform/linux/RegistryLinux.h"

namespace mailhost {

// The registry file of a run with --data DIR, the folder made if missing;
// "" for the user's own registry.
inline std::string RegistryFileIn(const std::string& dataFolder) {
  if (dataFolder.empty()) return {};
  std::error_code ec;
  std::filesystem::create_directories(dataFolder, ec);  // a failure shows when the file is read
  return dataFolder + "/registry.reg";
}

// --maildir PATH as it is, else DIR/Maildir of --data DIR, else the one beside
// the user's registry ($XDG_DATA_HOME/mailhost/Maildir).
inline std::string MaildirFor(const std::string& dataFolder, const std::string& maildir) {
  if (!maildir.empty()) return maildir;
  if (!dataFolder.empty()) return dataFolder + "/Maildir";
  return std::filesystem::path(platform::RegistryLinux::DefaultPath()).parent_path() / "Maildir";
}

// The run's Maildir, opened and watched on `loop` for other programs'
// changes (`changed` hears of them); null, said on `errors`, when it cannot
// be opened.
inline std::unique_ptr<MaildirStore> OpenMaildir(const std::string& dataFolder,
                                                 const std::string& maildir,
                                                 platform::PollEventLoop& loop,
                                                 std::function<void()> changed,
                                                 std::ostream& errors) {
  std::unique_ptr<MaildirStore> store;
  try {
    store = std::make_unique<MaildirStore>(MaildirFor(dataFolder, maildir));
  } catch (const std::exception& e) {
    errors << "mailhost: " << e.what() << std::endl;
    return nullptr;
  }
  if (store->ChangeFd() >= 0) {
    loop.WatchReadable(store->ChangeFd(), [raw = store.get(), changed] {
      if (raw->DrainChanges() && changed) changed();
    });
  }
  return store;
}

}  // namespace mailhost
