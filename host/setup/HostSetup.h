#pragma once
// The one setup behind mailhost's three front ends (the scenario runner, the
// console and the page): the platform integration chosen by name, the mail
// store, the sender, the add-in loader and the command dispatcher. A front
// end brings only what is its own: how boxes are answered, how time passes,
// where its lines go. A feature of one front end is thereby one of all.
//
// Two steps, because a front end's own pieces (its boxes, its session) need
// the loop and the host before the platform can be installed with them:
// construct, then Install.
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "host/commands/CommandDispatcher.h"
#include "host/loader/AddinLoader.h"
#include "platform/Platform.h"

namespace platform {
class PageSoundLink;
}  // namespace platform

namespace mailhost {

class LineWriter;
struct PageSoundDevices;
class MailHost;
class MailStore;
class PrintedActions;

struct HostOptions {
  std::string platform = "linux";  // linux, fake or scenario (host/platforms/Integrations.h)
  std::string registryPath;        // "": DIR/registry.reg of --data DIR, else the user's own
  std::string dataFolder;          // --data DIR: its Maildir is DIR/Maildir
  std::string maildir;             // --maildir PATH
  bool memoryStore = false;        // mail kept in memory for the run, unless maildir is given
  std::string smtpUrl;             // "": Send only files the mail in Sent
  std::string from;                // the sender; "": $EMAIL, else the user on this machine
  // The sound devices: "" or "alsa" the platform's own, "page" the page's
  // microphone and speaker (SoundNames()).
  std::string sound;
};

// The names HostOptions::sound takes.
std::vector<std::string> SoundNames();

// What a front end brings of its own.
struct FrontEnd {
  platform::MessageBoxes* boxes = nullptr;  // null: the platform's own
  DispatchSetup dispatch;
  // What the platform tells the person once; unset: a `note` line.
  std::function<void(const std::string&)> notice;
  // The page's end of its sound devices; needed with the sound "page".
  platform::PageSoundLink* soundLink = nullptr;
};

class HostSetup {
 public:
  // Throws platform::Error, worded for the person, when the platform or the
  // mail store cannot be set up.
  HostSetup(const HostOptions& options, LineWriter& out, std::ostream& errors);
  // The same for a front end's start: null, said on `errors`, when it fails.
  static std::unique_ptr<HostSetup> Open(const HostOptions& options, LineWriter& out,
                                         std::ostream& errors);
  ~HostSetup();
  HostSetup(const HostSetup&) = delete;
  HostSetup& operator=(const HostSetup&) = delete;

  platform::Integration& Platform() { return *m_platform; }
  platform::EventLoop& Loop() { return *m_platform->GetServices().loop; }
  MailHost& Host() { return *m_host; }
  MailStore& Store() { return *m_store; }
  // Other programs changed the Maildir (after the store has taken it in).
  void OnStoreChanged(std::function<void()> changed) { m_storeChanged = std::move(changed); }

  // Installs the platform with the front end's services and makes the
  // dispatcher; once.
  CommandDispatcher& Install(FrontEnd frontEnd);
  CommandDispatcher& Dispatcher() { return *m_dispatcher; }
  // The host's exit: the add-ins' shutdown event, once; the Maildir is no
  // longer watched.
  void Shutdown();

 private:
  LineWriter& m_out;
  std::ostream& m_errors;
  std::string m_sound;
  std::unique_ptr<platform::Integration> m_platform;
  std::unique_ptr<PageSoundDevices> m_pageSound;
  std::unique_ptr<MailStore> m_store;
  int m_watchedFd = -1;
  std::function<void()> m_storeChanged;
  std::unique_ptr<MailHost> m_host;
  std::unique_ptr<PrintedActions> m_printed;
  std::unique_ptr<platform::ScopedInstall> m_install;
  AddinLoader m_loader;
  std::unique_ptr<CommandDispatcher> m_dispatcher;
};

}  // namespace mailhost
