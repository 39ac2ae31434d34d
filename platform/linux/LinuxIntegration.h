#pragma once
// The real platform: the user's registry file, a poll() loop on the steady
// clock, libcurl, ICMP sockets, posix_spawn, xdg-open. Message boxes are the
// desktop's, and on this system mailhost is the desktop: the host puts its
// own into the set before installing it.
#include <string>

#include "platform/Platform.h"
#include "platform/common/BitmapPictures.h"
#include "platform/common/DesktopWindows.h"
#include "platform/common/MemoryClipboard.h"
#include "platform/linux/AlsaMedia.h"
#include "platform/linux/AlsaWaveIn.h"
#include "platform/linux/CurlHttp.h"
#include "platform/linux/LinuxFiles.h"
#include "platform/linux/LinuxIcmp.h"
#include "platform/linux/LinuxProcesses.h"
#include "platform/linux/LinuxShell.h"
#include "platform/linux/PollEventLoop.h"
#include "platform/linux/RegistryLinux.h"

namespace platform {

class LinuxIntegration : public Integration {
 public:
  static constexpr const char* kName = "linux";
  // A PEM file whose certificates https trusts instead of the system's store:
  // how an end-to-end test trusts its own loopback server.
  static constexpr const char* kCaFileVariable = "SONVERA_CA_FILE";

  // `registryPath` "" is the user's own (RegistryLinux::DefaultPath).
  explicit LinuxIntegration(const std::string& registryPath = "");
  const char* Name() const override { return kName; }
  void SetNoticeSink(NoticeSink sink) override;

  RegistryLinux registry;
  PollEventLoop loop;
  MemoryClipboard clipboard;
  BitmapPictures pictures;
  LinuxShell shell;
  LinuxFiles files;
  CurlHttp http;
  LinuxIcmp icmp;
  LinuxProcesses processes;
  DesktopWindows windows;
  AlsaMedia media{loop};
  AlsaWaveIn waveIn{loop, media};
};

}  // namespace platform
