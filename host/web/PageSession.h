#pragma once
// The page's side of a run of mailhost --web: the state the page shows,
// built on the UI thread when something changed, and the routes that act on
// the host. Threading rule: the host is touched only on the UI thread; the
// server's threads hand work over with a bounded wait (OnUi) and read the
// state as published text.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host/commands/ScriptParser.h"
#include "host/web/PageState.h"

namespace platform {
class DesktopWindows;
class EventLoop;
}  // namespace platform

namespace mailhost {

class CommandDispatcher;
class MailHost;
class PageServer;
class PageSoundPort;
class Uploads;
class WebBoxes;

// Lines the host prints, kept for the page and echoed to the terminal.
class LogBuffer : public std::stringbuf {
 public:
  explicit LogBuffer(std::ostream& echo) : m_echo(echo) {}
  // Complete lines written since the last call.
  std::vector<std::string> Take();

 private:
  std::ostream& m_echo;
};

// The state the server threads hand out; written only by the UI thread.
class Published {
 public:
  void Set(std::string state);
  std::string Get();
  // The state once it is newer than `seen`, or "" after the wait.
  std::string Next(std::uint64_t& seen, std::chrono::milliseconds wait);
  void Stop();
  bool Stopping();

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::string m_state = "{}";
  std::uint64_t m_version = 0;
  bool m_stopping = false;
};

class PageSession {
 public:
  PageSession(platform::EventLoop& loop, const platform::DesktopWindows& desktop, MailHost& host,
              CommandDispatcher& dispatcher, WebBoxes& boxes, LogBuffer& log, Uploads& uploads);

  void SetSound(std::string note);
  void SetSending(std::string note);
  // The page's sound devices, when mailhost's sound is the page's.
  void SetSoundPort(PageSoundPort* port);
  // Another program, or the host, changed a folder.
  void StoreChanged();
  // A message box came or went.
  void BoxesChanged();

  // On the UI thread, ten times a second and after every change: the state
  // as the page will see it now, built again only when something changed.
  void Publish();
  void Serve(PageServer& server);
  void Stop() { m_published.Stop(); }
  // Runs `work` on the UI thread and waits a while for its answer: 202
  // {"pending": true} when it has not come by then.
  std::pair<int, nlohmann::json> OnUi(std::function<nlohmann::json()> work);

 private:
  void ServeViews(PageServer& server);
  void ServeActions(PageServer& server);
  // Runs a command on the UI thread's turn; `line` as typed on the page.
  nlohmann::json RunLine(const std::string& line);
  nlohmann::json Run(const Command& command);

  platform::EventLoop& m_loop;
  const platform::DesktopWindows& m_desktop;
  MailHost& m_host;
  CommandDispatcher& m_dispatcher;
  WebBoxes& m_boxes;
  LogBuffer& m_log;
  Uploads& m_uploads;
  PageSoundPort* m_soundPort = nullptr;
  PageExtras m_extras;
  PictureIndex m_pictures;
  Published m_published;
  // Counts what changes the state besides ShownDigest's part: commands,
  // answers, store notices, boxes, the log.
  std::uint64_t m_revision = 1;
  std::uint64_t m_storeVersion = 0;
  std::uint64_t m_builtRevision = 0;
  std::uint64_t m_builtDigest = 0;
  const std::int64_t m_boot = std::chrono::system_clock::now().time_since_epoch().count();
  int m_lines = 0;
};

}  // namespace mailhost
