#pragma once
// The one root that hands out every platform service, chosen at start: the
// host installs a set in main, a test in its fixture. Services the process has
// not installed are null; callers that need one get platform::Error from the
// accessor, never a crash.
#include <string>

#include "platform/Clipboard.h"
#include "platform/EventLoop.h"
#include "platform/Http.h"
#include "platform/Icmp.h"
#include "platform/MessageBoxes.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/Shell.h"

namespace platform {

struct Services {
  Registry* registry = nullptr;
  EventLoop* loop = nullptr;
  MessageBoxes* boxes = nullptr;
  Clipboard* clipboard = nullptr;
  Pictures* pictures = nullptr;
  Shell* shell = nullptr;
  Http* http = nullptr;
  Icmp* icmp = nullptr;
  Processes* processes = nullptr;
};

// Installs the set (pointers are not owned); null uninstalls.
void Install(const Services* services);
const Services& Current();

Registry& GetRegistry();
EventLoop& GetLoop();
MessageBoxes& GetBoxes();
Clipboard& GetClipboard();
Pictures& GetPictures();
Shell& GetShell();
Http& GetHttp();
Icmp& GetIcmp();
Processes& GetProcesses();

}  // namespace platform
