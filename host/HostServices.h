#pragma once
// The services that the scenario runner and the console install alike: the
// desktop the host itself provides (clipboard, pictures) and the real network
// and processes, each started process shown as it starts. The drivers differ
// only in registry, loop, message boxes and shell.
#include "host/LineWriter.h"
#include "host/PrintingProcesses.h"
#include "platform/BitmapPictures.h"
#include "platform/MemoryClipboard.h"
#include "platform/Platform.h"
#include "platform/linux/CurlHttp.h"
#include "platform/linux/LinuxIcmp.h"
#include "platform/linux/LinuxProcesses.h"

namespace mailhost {

class HostServices {
 public:
  // Installs the whole set until this object goes.
  HostServices(LineWriter& writer, platform::Registry& registry, platform::EventLoop& loop,
               platform::MessageBoxes& boxes, platform::Shell& shell)
      : m_processes(m_realProcesses, writer) {
    m_services.registry = &registry;
    m_services.loop = &loop;
    m_services.boxes = &boxes;
    m_services.shell = &shell;
    m_services.clipboard = &m_clipboard;
    m_services.pictures = &m_pictures;
    m_services.http = &m_http;
    m_services.icmp = &m_icmp;
    m_services.processes = &m_processes;
    platform::Install(&m_services);
  }
  ~HostServices() { platform::Install(nullptr); }
  HostServices(const HostServices&) = delete;
  HostServices& operator=(const HostServices&) = delete;

 private:
  platform::MemoryClipboard m_clipboard;
  platform::BitmapPictures m_pictures;
  platform::CurlHttp m_http;
  platform::LinuxIcmp m_icmp;
  platform::LinuxProcesses m_realProcesses;
  PrintingProcesses m_processes;
  platform::Services m_services;
};

}  // namespace mailhost
