#pragma once
// What the page shows, as JSON built on the UI thread: the windows, the
// add-in's bars, its forms and the message box that waits. The server hands
// the text to the page; pictures are named by a number that the server
// turns back into the picture, so a request never names a file.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/MessageBoxes.h"
#include "platform/Pictures.h"

namespace platform {
class DesktopWindows;
}

namespace mailhost {

class CommandBars;
class MailHost;
class MailItem;

// Numbered on the UI thread, looked up by the server's threads.
class PictureIndex {
 public:
  // The number under which the page asks for this picture.
  int Number(const platform::PicturePtr& picture);
  platform::PicturePtr Find(int number) const;

 private:
  mutable std::mutex m_mutex;
  std::map<const platform::Picture*, int> m_numbers;
  std::vector<platform::PicturePtr> m_pictures;
};

struct PageExtras {
  std::vector<platform::BoxRequest> boxes;  // waiting, innermost last
  std::vector<std::string> log;             // what the host printed, newest last
  std::string lastError;
  std::string soundNote;
  std::string sending;  // how Send leaves: "smtp://..." or "" for the Sent folder only
};

nlohmann::json BarJson(const CommandBars& bars, PictureIndex& pictures);
nlohmann::json MailJson(MailItem& mail);
// The live state; the message list of a folder is fetched on its own.
nlohmann::json PageStateJson(MailHost& host, const platform::DesktopWindows& desktop,
                             const PageExtras& extras, PictureIndex& pictures);
// Rows [offset, offset + limit) of a folder's list, and how many it has.
nlohmann::json FolderJson(MailHost& host, const std::string& folder, std::size_t offset,
                          std::size_t limit);

}  // namespace mailhost
