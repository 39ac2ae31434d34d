#include "update/frmUpdateMon.h"

#include "common/ErrorPrompt.h"
#include "common/Handlers.h"
#include "platform/Platform.h"
#include "update/InstallerFolder.h"
#include "update/Ping.h"
#include "update/UpdateCheck.h"
#include "update/Version.h"

namespace sonvera {

frmUpdateMon& frmUpdateMon::Instance() {
  static frmUpdateMon form;
  return form;
}

void frmUpdateMon::Load() {
  if (m_loaded) return;
  m_loaded = true;
  Form_Load();
}

void frmUpdateMon::Unload() {
  m_loaded = false;
}

// The once-per-start update check. It blocks start-up by design: the ping
// bounds the cost of an unreachable server to half a second.
void frmUpdateMon::Form_Load() {
  // What an earlier attempt could not remove (the host killed mid-download).
  IgnoreErrors([] {
    SweepInstallerFolders(TemporaryFolder(),
                          std::chrono::system_clock::now() - kInstallerFolderMaxAge);
  });
  Routine r(WarnAndLeave(kUpdateFailureSource));
  r.Do([&] {
    if (PingHost(ProductHost.hostName) != kIpSuccess) return;
    // A trailing line break is part of no version number, nor of the offer.
    const std::string remote = TrimmedVersionText(GetRemoteVersion(ProductHost));
    if (remote.empty() || remote == kVersionOff) return;
    if (!(ParseVersion(remote) > RunningVersion())) return;
    if (platform::GetBoxes().Show(UpdatePrompt(remote)) != platform::Answer::Yes) return;
    // Held for the call: quitting the host clears AmpRef.
    const auto addin = AmpRef;
    InstallUpdate(ProductHost, Need(addin));
  });
}

}  // namespace sonvera
