#include "host/platforms/UserData.h"

#include <filesystem>

#include "platform/linux/RegistryLinux.h"

namespace mailhost {

std::string RegistryFileIn(const std::string& dataFolder) {
  if (dataFolder.empty()) return {};
  std::error_code ec;
  std::filesystem::create_directories(dataFolder, ec);  // a failure shows when the file is read
  return dataFolder + "/registry.reg";
}

std::string DataFolderFor(const std::string& dataFolder) {
  if (!dataFolder.empty()) return dataFolder;
  return std::filesystem::path(platform::RegistryLinux::DefaultPath()).parent_path().string();
}

std::string MaildirFor(const std::string& dataFolder, const std::string& maildir) {
  if (!maildir.empty()) return maildir;
  return DataFolderFor(dataFolder) + "/Maildir";
}

std::unique_ptr<MaildirStore> OpenMaildir(const std::string& dataFolder, const std::string& maildir,
                                          platform::PollEventLoop& loop,
                                          std::function<void()> changed, std::ostream& errors) {
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
