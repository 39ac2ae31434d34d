#include "platform/Platform.h"

#include "platform/Error.h"

namespace platform {
namespace {

Services g_services;

template <typename T>
T& Require(T* service, const char* name) {
  if (!service) throw Error(std::string("The ") + name + " service is not available.");
  return *service;
}

}  // namespace

void Install(const Services* services) {
  g_services = services ? *services : Services{};
}
const Services& Current() {
  return g_services;
}

Registry& GetRegistry() {
  return Require(g_services.registry, "registry");
}
EventLoop& GetLoop() {
  return Require(g_services.loop, "event loop");
}
MessageBoxes& GetBoxes() {
  return Require(g_services.boxes, "message box");
}
Clipboard& GetClipboard() {
  return Require(g_services.clipboard, "clipboard");
}
Pictures& GetPictures() {
  return Require(g_services.pictures, "picture");
}
Shell& GetShell() {
  return Require(g_services.shell, "shell");
}
Files& GetFiles() {
  return Require(g_services.files, "file");
}
Http& GetHttp() {
  return Require(g_services.http, "HTTP");
}
Icmp& GetIcmp() {
  return Require(g_services.icmp, "ICMP");
}
Processes& GetProcesses() {
  return Require(g_services.processes, "process");
}
Media& GetMedia() {
  return Require(g_services.media, "multimedia device");
}
WaveIn& GetWaveIn() {
  return Require(g_services.waveIn, "wave capture");
}
Windows& GetWindows() {
  return Require(g_services.windows, "window");
}

}  // namespace platform
