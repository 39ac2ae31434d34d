#pragma once
// The application object: one per running host. It holds the host's
// application, main window and mail-window collection, builds the main
// window's bar, starts the update monitor, refuses to run twice and tears
// everything down on shutdown.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/FrmProp.h"
#include "common/ErrorPrompt.h"
#include "common/ProductServer.h"
#include "common/WithEvents.h"
#include "explorer/ExplorerBar.h"
#include "hostmodel/HostModel.h"

namespace sonvera {

class Connect;
class Insp;

class Amp : public ShutdownTarget, public PlaybackCaller, public std::enable_shared_from_this<Amp> {
 public:
  // Class initialisation: the new object becomes oAmp, the add-in that
  // prompts shut down, and the recorder's AmpRef.
  static std::shared_ptr<Amp> Create();

  void ExitProgram() override;
  void PlayIsFinished() override;
  void CleanShutdown() override;
  void OnBeginShutdown();
  void OnStartupComplete(const hostmodel::Ref<hostmodel::Application>& Outl,
                         const std::shared_ptr<Connect>& Connect);

  // The single-instance test: finds a bar named "Sonvera" in the window.
  bool IsCommandBarSet(const hostmodel::Ref<hostmodel::Explorer>& Window,
                       hostmodel::Ref<hostmodel::CommandBar>& Bar);

  void oIns_NewInspector(const hostmodel::Ref<hostmodel::Inspector>& Inspector);

  hostmodel::Ref<hostmodel::Application> oApp;
  std::shared_ptr<Connect> oConnect;
  WithEvents<hostmodel::Inspectors> oIns;
  // The main window's bar with its controls, the main window (oExp), the
  // selected mail and its list.
  std::shared_ptr<ExplorerBar> Bar;
  std::vector<std::shared_ptr<Insp>> InspList;
  // Resolved once at start-up; whatever names the product server reads it here.
  ProductServer ProductHost;

  static constexpr const char* kAnotherInstance =
      "Another instance of Sonvera is running!\r\nShutting down this instance.";

 private:
  Amp() = default;

  bool m_shutDown = false;
};

// The shared reference to the one application object.
extern std::shared_ptr<Amp> oAmp;

}  // namespace sonvera
