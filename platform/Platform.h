#pragma once
// The one root that hands out every platform service. A platform integration
// (platform/linux/, platform/fake/, or a mix of the two) creates and owns a
// whole set; the process installs one at start: the host in main, a test in
// its fixture. The add-in reaches the services only through the accessors
// below. A service the installed set lacks is platform::Error from its
// accessor, never a crash.
#include <functional>
#include <string>

#include "platform/Clipboard.h"
#include "platform/EventLoop.h"
#include "platform/Files.h"
#include "platform/Http.h"
#include "platform/Icmp.h"
#include "platform/Media.h"
#include "platform/MessageBoxes.h"
#include "platform/Pictures.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/WaveIn.h"
#include "platform/Windows.h"

namespace platform {

struct Services {
  Registry* registry = nullptr;
  EventLoop* loop = nullptr;
  MessageBoxes* boxes = nullptr;
  Clipboard* clipboard = nullptr;
  Pictures* pictures = nullptr;
  Shell* shell = nullptr;
  Files* files = nullptr;
  Http* http = nullptr;
  Icmp* icmp = nullptr;
  Processes* processes = nullptr;
  Media* media = nullptr;
  WaveIn* waveIn = nullptr;
  Windows* windows = nullptr;
};

// A platform: creates and owns every service it offers. Services() is what
// Install takes; a host may put its own desktop services (message boxes, the
// clipboard) or a display wrapper into the set before installing it.
class Integration {
 public:
  using NoticeSink = std::function<void(const std::string&)>;

  virtual ~Integration() = default;
  virtual const char* Name() const = 0;
  Services& GetServices() { return m_services; }
  // Where the platform tells the person, once, of something about the
  // machine rather than the add-in: a damaged registry file set aside, no
  // sound card. A platform with nothing to say ignores it.
  virtual void SetNoticeSink(NoticeSink /*sink*/) {}

 protected:
  // Points the set at a backend's members of the same names; a backend
  // without its own message boxes leaves them to the host.
  template <typename Backend>
  void OfferMembers(Backend& backend) {
    m_services = {.registry = &backend.registry,
                  .loop = &backend.loop,
                  .clipboard = &backend.clipboard,
                  .pictures = &backend.pictures,
                  .shell = &backend.shell,
                  .files = &backend.files,
                  .http = &backend.http,
                  .icmp = &backend.icmp,
                  .processes = &backend.processes,
                  .media = &backend.media,
                  .waveIn = &backend.waveIn,
                  .windows = &backend.windows};
    if constexpr (requires { backend.boxes; }) m_services.boxes = &backend.boxes;
  }

  Services m_services;
};

// Installs the set (pointers are not owned); null uninstalls.
void Install(const Services* services);
const Services& Current();

// Installs an integration's set for the length of a scope.
class ScopedInstall {
 public:
  explicit ScopedInstall(Integration& integration) { Install(&integration.GetServices()); }
  explicit ScopedInstall(const Services& services) { Install(&services); }
  ~ScopedInstall() { Install(nullptr); }
  ScopedInstall(const ScopedInstall&) = delete;
  ScopedInstall& operator=(const ScopedInstall&) = delete;
};

Registry& GetRegistry();
EventLoop& GetLoop();
MessageBoxes& GetBoxes();
Clipboard& GetClipboard();
Pictures& GetPictures();
Shell& GetShell();
Files& GetFiles();
Http& GetHttp();
Icmp& GetIcmp();
Processes& GetProcesses();
Media& GetMedia();
WaveIn& GetWaveIn();
Windows& GetWindows();

}  // namespace platform
