#pragma once
// What the page shows, as JSON built on the UI thread: the windows, the
// add-in's bars, its forms and the message box that waits. The server hands
// the text to the page; pictures are named by a number that the server
// turns back into the picture, so a request never names a file.
//
// The state carries no attachment's bytes (only names and sizes) and at most
// kBodyShown bytes of a mail's text; the page fetches a longer text whole
// when the person asks for it.
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

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

constexpr std::size_t kBodyShown = 32 * 1024;

struct PageExtras {
  std::vector<platform::BoxRequest> boxes;  // waiting, innermost last
  std::vector<std::string> log;             // what the host printed, newest last
  std::string lastError;
  std::string soundNote;
  std::string sending;          // how Send leaves: "smtp://..." or "" for the Sent folder only
  std::size_t uploadLimit = 0;  // the largest file the page attaches
};

// What the add-in and the person change without the store hearing of it (the
// bars, the add-in's forms, the windows, the selection, the folder shown),
// as a number that differs when any of it differs: read ten times a second,
// it tells whether the state has to be built again. It reads no mail.
std::uint64_t ShownDigest(MailHost& host, const platform::DesktopWindows& desktop);

nlohmann::json BarJson(const CommandBars& bars, PictureIndex& pictures);
nlohmann::json MailJson(MailItem& mail);
// The live state; the message list of a folder is fetched on its own.
nlohmann::json PageStateJson(MailHost& host, const platform::DesktopWindows& desktop,
                             const PageExtras& extras, PictureIndex& pictures);
// Rows [offset, offset + limit) of a folder's list, and how many it has.
nlohmann::json FolderJson(MailHost& host, const std::string& folder, std::size_t offset,
                          std::size_t limit);

}  // namespace mailhost
